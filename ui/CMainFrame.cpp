#include "ui/CMainFrame.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QWindowStateChangeEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "app/CPlayerConfig.h"
#include "platform/MessageBox.h"
#include "res/StringTable.h"
#include "ui/CPlayerView.h"

namespace {

constexpr int kMinTrackWidth = 200;
constexpr int kMinTrackHeight = 150;
constexpr int kCreateWidth = 400;
constexpr int kCreateHeight = 320;
// While the window manager has not framed a mapped window yet its margins
// read as zero; after this many checks 50 ms apart zero is taken as final.
constexpr int kMaxMarginChecks = 40;

constexpr QEvent::Type kOpenDroppedFileEvent = static_cast<QEvent::Type>(WM_OPEN_DROPPED_FILE);

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// The prompt is the text before the first newline of the command's string.
QString PromptOf(unsigned id) {
  const std::string s = ResString(id);
  return QString::fromStdString(s.substr(0, s.find('\n')));
}

// The tooltip is the text after it.
QString TooltipOf(unsigned id) {
  const std::string s = ResString(id);
  const std::size_t nl = s.find('\n');
  return nl == std::string::npos ? QString() : QString::fromStdString(s.substr(nl + 1));
}

}  // namespace

CMainFrame::CMainFrame(CPlayerConfig& config, QWidget* pParent) : QMainWindow(pParent), m_config(config) {}

CMainFrame::~CMainFrame() { OnDestroy(); }

BOOL CMainFrame::LoadFrame(unsigned nIDResource) {
  if (m_bLoaded) return FALSE;
  m_bLoaded = true;

  // Style: caption or none, topmost, no sizing border until the view decides.
  Qt::WindowFlags flags = windowFlags() | Qt::Window;
  if (!m_config.m_bTitleBar) flags |= Qt::FramelessWindowHint;
  if (m_config.m_bAlwaysOnTop) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
  setWindowTitle(Text(LoadResString(IDS_APP_TITLE)));
  setContextMenuPolicy(Qt::NoContextMenu);  // no toolbar hide menu
  move(0, 0);
  resize(kCreateWidth, kCreateHeight);

  m_pView = new CPlayerView(m_config, this, this);
  setCentralWidget(m_pView);
  m_pView->m_wndMovie.installEventFilter(this);

  CreateActions(nIDResource);

  if (m_config.m_bStatusBar) {
    QStatusBar* pBar = statusBar();
    pBar->setSizeGripEnabled(false);
    auto makePane = [pBar](unsigned id) {
      auto* pLabel = new QLabel(Text(LoadResString(id)), pBar);
      pLabel->setAlignment(Qt::AlignCenter);
      pLabel->setMinimumWidth(pLabel->fontMetrics().horizontalAdvance(pLabel->text()));
      pBar->addPermanentWidget(pLabel);
      return pLabel;
    };
    m_pStatePane = makePane(ID_INDICATOR_STATE);
    m_pTimePane = makePane(ID_INDICATOR_TIME);
  }

  // Update handlers run whenever the event loop is about to wait.
  if (QAbstractEventDispatcher* pDispatcher = QAbstractEventDispatcher::instance())
    connect(pDispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &CMainFrame::OnIdle);

  ApplySizeConstraints();
  if (QLayout* pLayout = layout()) pLayout->activate();
  m_pView->OnInitialUpdate();
  return TRUE;
}

void CMainFrame::CreateActions(unsigned nIDResource) {
  auto actionFor = [this](unsigned id) {
    QAction*& pAction = m_actions[id];
    if (!pAction) {
      pAction = new QAction(this);
      const QString prompt = PromptOf(id);
      if (!prompt.isEmpty()) pAction->setStatusTip(prompt);
      if (const QString tip = TooltipOf(id); !tip.isEmpty()) pAction->setToolTip(tip);
      connect(pAction, &QAction::triggered, this, [this, id] { RouteCommand(id); });
      addAction(pAction);  // keys work without a menu bar too
    }
    return pAction;
  };

  const std::span<const MenuResItem> menu = LoadMenuResource(nIDResource);
  for (const MenuResItem& item : menu)
    if (item.kind == MenuResItem::Item) actionFor(item.id)->setText(Text(item.text));

  // Toolbar-only commands get their action too (one per command id).
  for (unsigned id : LoadToolbarResource(IDR_PLAYER_TOOLBAR))
    if (id != 0 && id != ID_TOOLBAR_SLIDER) actionFor(id);
  for (auto& [id, pAction] : m_actions)
    if (pAction->text().isEmpty()) pAction->setText(TooltipOf(id));

  std::map<unsigned, QList<QKeySequence>> keys;
  for (const AccelResItem& accel : LoadAccelResource(nIDResource))
    keys[accel.id] << QKeySequence(QString::fromLatin1(accel.key), QKeySequence::PortableText);
  for (auto& [id, list] : keys) {
    QAction* pAction = actionFor(id);
    pAction->setShortcuts(list);
    pAction->setShortcutContext(Qt::WindowShortcut);
  }

  if (m_config.m_bMenu) {
    std::size_t at = 0;
    BuildMenu(menu, at, nullptr, true);
    // The always-on-top entry exists only when the settings allow the mode.
    if (!m_config.m_bAlwaysOnTop) {
      const QList<QAction*> top = menuBar()->actions();
      if (top.size() > 1 && top[1]->menu()) top[1]->menu()->removeAction(m_actions[ID_VIEW_ALWAYSONTOP]);
    }
  }
}

// Builds the popups from `at` on; returns the menu of the first popup when
// pMenu is null and not top level (used for context menus).
QMenu* CMainFrame::BuildMenu(std::span<const MenuResItem> items, std::size_t& at, QMenu* pMenu, bool bTopLevel) {
  while (at < items.size()) {
    const MenuResItem& item = items[at++];
    switch (item.kind) {
      case MenuResItem::Popup: {
        QMenu* pSub;
        if (bTopLevel)
          pSub = menuBar()->addMenu(Text(item.text));
        else
          pSub = pMenu->addMenu(Text(item.text));
        connect(pSub, &QMenu::aboutToShow, this, [this, pSub] { UpdateMenu(pSub); });
        BuildMenu(items, at, pSub, false);
        if (bTopLevel) break;
        if (!m_pVolumeMenu && pSub->actions().size() > 0 &&
            pSub->actions().front() == GetCommandAction(ID_VOLUME_UP))
          m_pVolumeMenu = pSub;
        break;
      }
      case MenuResItem::Item:
        if (pMenu) pMenu->addAction(GetCommandAction(item.id));
        break;
      case MenuResItem::Separator:
        if (pMenu) pMenu->addSeparator();
        break;
      case MenuResItem::End:
        if (!bTopLevel) return pMenu;
        break;
    }
  }
  return pMenu;
}

QMenu* CMainFrame::BuildPopupMenu(unsigned nIDResource, int nSubMenu, QWidget* pParent) {
  const std::span<const MenuResItem> items = LoadMenuResource(nIDResource);
  // Find the nSubMenu-th top-level popup.
  int depth = 0, index = -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].kind == MenuResItem::Popup) {
      if (depth == 0 && ++index == nSubMenu) {
        auto* pMenu = new QMenu(Text(items[i].text), pParent);
        connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu] { UpdateMenu(pMenu); });
        std::size_t at = i + 1;
        // Nested popups of a context menu are built like those of the bar.
        while (at < items.size() && items[at].kind != MenuResItem::End) {
          const MenuResItem& item = items[at++];
          if (item.kind == MenuResItem::Item) {
            pMenu->addAction(GetCommandAction(item.id));
          } else if (item.kind == MenuResItem::Separator) {
            pMenu->addSeparator();
          } else if (item.kind == MenuResItem::Popup) {
            QMenu* pSub = pMenu->addMenu(Text(item.text));
            connect(pSub, &QMenu::aboutToShow, this, [this, pSub] { UpdateMenu(pSub); });
            BuildMenu(items, at, pSub, false);
          }
        }
        return pMenu;
      }
      ++depth;
    } else if (items[i].kind == MenuResItem::End) {
      --depth;
    }
  }
  return nullptr;
}

QAction* CMainFrame::GetCommandAction(unsigned id) const {
  const auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::SetAppCommand(unsigned id, std::function<void()> handler) {
  m_appCommands[id] = std::move(handler);
}

// ---- routing -------------------------------------------------------------

bool CMainFrame::RouteCommand(unsigned id) {
  CCmdUI ui(id);
  if (!(m_pView && m_pView->OnUpdateCommand(ui)) && !OnUpdateCommand(ui))
    ui.Enable((m_pView && m_pView->HasCommand(id)) || HasCommand(id));
  if (!ui.m_bEnabled) return false;
  if (m_pView && m_pView->OnCommand(id)) return true;
  return OnCommand(id);
}

bool CMainFrame::HasCommand(unsigned id) const {
  return id == ID_APP_EXIT || m_appCommands.count(id) != 0;
}

bool CMainFrame::OnCommand(unsigned id) {
  if (id == ID_APP_EXIT) {
    // The same way as the close button, so the destroy-time work runs.
    close();
    return true;
  }
  const auto it = m_appCommands.find(id);
  if (it != m_appCommands.end() && it->second) {
    it->second();
    return true;
  }
  return false;
}

bool CMainFrame::OnUpdateCommand(CCmdUI& ui) {
  switch (ui.m_nID) {
    case ID_VOLUME_UP:
    case ID_VOLUME_DOWN:
    case ID_VOLUME_MUTE:
      ui.Enable(m_bMixerOpen);
      return true;
    default:
      return false;
  }
}

void CMainFrame::UpdateAction(unsigned id, QAction* pAction) {
  CCmdUI ui(id);
  if (!(m_pView && m_pView->OnUpdateCommand(ui)) && !OnUpdateCommand(ui))
    ui.Enable((m_pView && m_pView->HasCommand(id)) || HasCommand(id));
  if (pAction->isEnabled() != ui.m_bEnabled) pAction->setEnabled(ui.m_bEnabled);
  if (ui.m_bChecked) {
    if (!pAction->isCheckable()) pAction->setCheckable(true);
    if (pAction->isChecked() != *ui.m_bChecked) pAction->setChecked(*ui.m_bChecked);
  }
  if (ui.m_strText) {
    const QString text = QString::fromStdString(*ui.m_strText);
    if (pAction->text() != text) pAction->setText(text);
  }
}

void CMainFrame::UpdateMenu(QMenu* pMenu) {
  for (QAction* pAction : pMenu->actions()) {
    if (QMenu* pSub = pAction->menu()) {
      const QList<QAction*> subActions = pSub->actions();
      unsigned firstId = 0;
      for (const auto& [id, a] : m_actions)
        if (!subActions.isEmpty() && a == subActions.front()) firstId = id;
      CCmdUI ui(firstId, pSub);
      if (!(m_pView && m_pView->OnUpdateCommand(ui)) && !OnUpdateCommand(ui)) ui.Enable(true);
      pAction->setEnabled(ui.m_bEnabled);
      continue;
    }
    for (const auto& [id, a] : m_actions)
      if (a == pAction) UpdateAction(id, pAction);
  }
}

void CMainFrame::UpdateCommandUI() {
  if (m_bInUpdate || m_bDestroyed) return;
  m_bInUpdate = true;
  for (const auto& [id, pAction] : m_actions) UpdateAction(id, pAction);
  if (m_pVolumeMenu) m_pVolumeMenu->menuAction()->setEnabled(m_bMixerOpen);
  if (m_pStatePane) {
    const QString text = QString::fromStdString(StatePaneText());
    if (m_pStatePane->text() != text) m_pStatePane->setText(text);
  }
  if (m_pTimePane) {
    const QString text = QString::fromStdString(TimePaneText());
    if (m_pTimePane->text() != text) m_pTimePane->setText(text);
  }
  m_bInUpdate = false;
}

void CMainFrame::OnIdle() {
  if (m_bLoaded) UpdateCommandUI();
}

// ---- view operations ---------------------------------------------------

void CMainFrame::SetMovieLength(int ms) { m_nLength = ms; }

void CMainFrame::SetMoviePosition(int ms) { m_nPosition = ms; }

void CMainFrame::SetPlayState(int state) {
  m_nPlayState = state;
  if (m_bLoaded) UpdateCommandUI();
}

void CMainFrame::ToggleFullScreen() {
  // Full-screen mode arrives with its own change; until then the window
  // shows as an ordinary one.
  if (!isVisible()) show();
}

std::string CMainFrame::PlayStateText(int state) {
  switch (state) {
    case PLAY_STATE_OPENING: return ResString(2001);
    case PLAY_STATE_STOPPED: return ResString(2002);
    case PLAY_STATE_PAUSED: return ResString(2003);
    case PLAY_STATE_PLAYING: return ResString(2004);
    case PLAY_STATE_SEEKING: return ResString(57666);
    default: return std::string();
  }
}

std::string CMainFrame::TimeText(int position, int length) {
  if (length < 0) return std::string();
  // No hours field: 75 minutes show as 75:00.
  return FormatPrintf("%02d:%02d/%02d:%02d", position / 1000 / 60, (position / 1000) % 60, length / 1000 / 60,
                      (length / 1000) % 60);
}

std::string CMainFrame::StatePaneText() const { return PlayStateText(m_nPlayState); }

std::string CMainFrame::TimePaneText() const { return TimeText(m_nPosition, m_nLength); }

// ---- events --------------------------------------------------------------

bool CMainFrame::event(QEvent* pEvent) {
  if (pEvent->type() == kOpenDroppedFileEvent) {
    if (m_pView) m_pView->ReplaceMovie(m_strDroppedFile);
    return true;
  }
  return QMainWindow::event(pEvent);
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
  OnDestroy();
  pEvent->accept();
}

void CMainFrame::OnDestroy() {
  if (m_bDestroyed) return;
  m_bDestroyed = true;
  if (m_pView) m_pView->OnDestroy();
}

void CMainFrame::resizeEvent(QResizeEvent* pEvent) {
  QMainWindow::resizeEvent(pEvent);
  if (m_pView) m_pView->FitMovieWindow();
  CheckFrameMargins();
}

void CMainFrame::moveEvent(QMoveEvent* pEvent) {
  QMainWindow::moveEvent(pEvent);
  CheckFrameMargins();
}

void CMainFrame::showEvent(QShowEvent* pEvent) {
  QMainWindow::showEvent(pEvent);
  CheckFrameMargins();
}

void CMainFrame::changeEvent(QEvent* pEvent) {
  QMainWindow::changeEvent(pEvent);
  if (pEvent->type() != QEvent::WindowStateChange) return;
  const Qt::WindowStates old = static_cast<QWindowStateChangeEvent*>(pEvent)->oldState();
  const Qt::WindowStates big = Qt::WindowMaximized | Qt::WindowFullScreen;
  // The window manager's idea of the normal rectangle does not survive the
  // size hints changing on the way; keep our own.
  // The frame differs between the states, so the client size is kept.
  if (!(old & big) && (windowState() & big)) m_normal = geometry();
  ApplySizeConstraints();
  if ((old & big) && !(windowState() & big) && m_normal && isVisible()) {
    ApplyClientSize(m_normal->width(), m_normal->height());
    setGeometry(*m_normal);
  }

}

// ---- geometry ------------------------------------------------------------

QMargins CMainFrame::WindowManagerMargins() const {
  const QRect f = frameGeometry();
  const QRect g = geometry();
  return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

RECT CMainFrame::GetWindowRect() const {
  const QRect f = frameGeometry();
  return RECT{f.left(), f.top(), f.left() + f.width(), f.top() + f.height()};
}

RECT CMainFrame::GetWorkArea() const {
  QScreen* pScreen = screen();
  if (!pScreen) pScreen = QGuiApplication::primaryScreen();
  const QRect a = pScreen ? pScreen->availableGeometry() : QRect(0, 0, 1024, 768);
  return RECT{a.left(), a.top(), a.left() + a.width(), a.top() + a.height()};
}

void CMainFrame::SetWindowRect(const RECT& rc) {
  if (isMaximized() || isFullScreen()) return;
  const QMargins m = WindowManagerMargins();
  ApplyClientSize(rc.right - rc.left - m.left() - m.right(), rc.bottom - rc.top - m.top() - m.bottom());
  move(rc.left, rc.top);  // a window's position is that of its frame
}

void CMainFrame::SetPlacementWhenMapped(const RECT& rc) {
  m_placementWhenMapped = rc;
  m_bCentreWhenMapped = false;
}

void CMainFrame::CenterWindow() {
  const RECT wa = GetWorkArea();
  const RECT r = GetWindowRect();
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int left = wa.left + (wa.right - wa.left - w) / 2;
  const int top = wa.top + (wa.bottom - wa.top - h) / 2;
  SetWindowRect(RECT{left, top, left + w, top + h});
  if (!m_bMarginsKnown) m_bCentreWhenMapped = true;
}

void CMainFrame::SetSizable(bool bSizable) {
  m_bSizable = bSizable;
  ApplySizeConstraints();
}

void CMainFrame::ApplyClientSize(int cx, int cy) {
  const QMargins m = WindowManagerMargins();
  cx = std::max(cx, kMinTrackWidth - m.left() - m.right());
  cy = std::max(cy, kMinTrackHeight - m.top() - m.bottom());
  m_clientSize = QSize(cx, cy);
  if (!m_bSizable && !isMaximized() && !isFullScreen())
    setFixedSize(m_clientSize);
  else
    resize(m_clientSize);
}

void CMainFrame::ApplySizeConstraints() {
  const QMargins m = WindowManagerMargins();
  const QSize minimum(kMinTrackWidth - m.left() - m.right(), kMinTrackHeight - m.top() - m.bottom());
  // Window managers refuse to maximise a window of fixed size.
  if (m_bSizable || isMaximized() || isFullScreen() || !m_clientSize.isValid()) {
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setMinimumSize(minimum);
  } else {
    setFixedSize(m_clientSize);
  }
}

// The movie window maximises the main window on a double click. Window
// managers refuse that for a window of fixed size, so the size is let go
// before the click gets there (and fixed again when nothing came of it).
bool CMainFrame::eventFilter(QObject* pWatched, QEvent* pEvent) {
  if (pEvent->type() == QEvent::MouseButtonDblClick && !isMaximized() && !isFullScreen() && !m_bSizable) {
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setMinimumSize(0, 0);
    QTimer::singleShot(0, this, [this] {
      if (!isMaximized() && !isFullScreen()) ApplySizeConstraints();
    });
  }
  return QMainWindow::eventFilter(pWatched, pEvent);
}

void CMainFrame::ShowMaximized() {
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  setMinimumSize(0, 0);
  showMaximized();
}

void CMainFrame::ShowRestored() { showNormal(); }

void CMainFrame::StartSystemMove() {
  if (QWindow* pWindow = windowHandle()) pWindow->startSystemMove();
}

void CMainFrame::CheckFrameMargins() {
  if (m_bMarginsKnown || !isVisible()) return;
  const bool bFramed = !WindowManagerMargins().isNull();
  if (bFramed || (windowFlags() & Qt::FramelessWindowHint) || ++m_nMarginChecks > kMaxMarginChecks) {
    m_bMarginsKnown = true;
    OnFrameMarginsKnown();
    return;
  }
  if (m_bMarginTimerPending) return;
  m_bMarginTimerPending = true;
  QTimer::singleShot(50, this, [this] {
    m_bMarginTimerPending = false;
    CheckFrameMargins();
  });
}

// Rectangles given while the window manager's frame was unknown counted it
// as zero; now that it is known they are applied again.
void CMainFrame::OnFrameMarginsKnown() {
  if (WindowManagerMargins().isNull() || isMaximized() || isFullScreen()) {
    m_placementWhenMapped.reset();
    m_bCentreWhenMapped = false;
    return;
  }
  ApplySizeConstraints();
  if (m_placementWhenMapped) {
    SetWindowRect(*m_placementWhenMapped);
  } else {
    if (m_pView) m_pView->FitFrameToMovie();
    if (m_bCentreWhenMapped) CenterWindow();
  }
  m_placementWhenMapped.reset();
  m_bCentreWhenMapped = false;
}
