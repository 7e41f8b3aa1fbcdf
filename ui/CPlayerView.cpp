#include "ui/CPlayerView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/CPlayerConfig.h"
#include "engine/AppMainWindow.h"
#include "platform/MessageBox.h"
#include "res/BitmapResource.h"
#include "res/CommandTable.h"
#include "res/StringTable.h"
#include "ui/CLongFileDialog.h"
#include "ui/CMainFrame.h"

namespace {

constexpr unsigned IDS_LARGE_FILE_WARNING = 57667;
constexpr unsigned IDS_OPEN_FILTER = 57354;
constexpr unsigned IDS_OPEN_TITLE = 57355;
constexpr int kOpenMaxPath = 260;
constexpr int kMinFrameWidth = 400;
constexpr int kMinFrameHeight = 320;
constexpr int kSeekStepMs = 1000;
// A stop notification may overtake the worker's last playing state.
constexpr int kStopWaitRounds = 10;
constexpr auto kStopWaitStep = std::chrono::milliseconds(25);

long long FileSize(const char* path) {
  std::error_code ec;
  const std::filesystem::path p(path);
  if (!std::filesystem::is_regular_file(p, ec)) return 0;
  const auto size = std::filesystem::file_size(p, ec);
  return ec ? 0 : static_cast<long long>(size);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return a == b || std::filesystem::equivalent(a, b, ec);
}

std::string FilePart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int CPlayerView::s_nFilterIndex = 0;

CPlayerView::CPlayerView(CPlayerConfig& config, CMainFrame* pFrame, QWidget* pParent)
    : QWidget(pParent), m_wndMovie(nullptr), m_config(config), m_pFrame(pFrame) {
  m_wndMovie.SetOptions(MOVIE_OPT_AUTOPLAY | MOVIE_OPT_DRAG_MAIN_WINDOW);
  m_wndMovie.m_nSeekRefreshDelay = 500;
  setAttribute(Qt::WA_OpaquePaintEvent);  // the logo painting covers everything
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(0, 0);
}

CPlayerView::~CPlayerView() { OnDestroy(); }

void CPlayerView::OnInitialUpdate() {
  if (m_bInitialized) return;
  m_wndMovie.CreateMovieWindow(this);
  m_wndMovie.hide();
  if (m_pFrame) m_pFrame->SetPlayState(PLAY_STATE_NONE);

  DWORD options = MOVIE_OPT_NOTIFY_POSITION | MOVIE_OPT_NOTIFY_STATE;
  if (m_config.m_bExitAtEnd) options |= MOVIE_OPT_CLOSE_AT_END;
  if (m_config.m_bRepeat) options |= MOVIE_OPT_REPEAT;
  if (m_config.m_bClickDrag) options |= MOVIE_OPT_DRAG_MAIN_WINDOW;
  if (m_config.m_bAutoPlay) options |= MOVIE_OPT_AUTOPLAY;
  if (m_config.m_bStayAtEnd) options |= MOVIE_OPT_HOLD_LAST_FRAME;
  m_wndMovie.SetOptions(options);
  m_wndMovie.m_crBack = m_config.m_crBackground;

  const std::span<const unsigned char> bmp = LoadBitmapResource(IDB_PLAYER_LOGO);
  if (!bmp.empty() && m_logo.loadFromData(bmp.data(), static_cast<int>(bmp.size()), "BMP")) {
    m_nLogoWidth = m_logo.width();
    m_nLogoHeight = m_logo.height();
    if (m_logo.depth() <= 8) m_wndMovie.m_bUsePalette = true;
  }

  m_bInitialized = TRUE;
  FitFrameToMovie();
  update();
}

// ---- frame fitting -------------------------------------------------------

// What the frame adds around the view inside its window-manager frame (menu,
// status bar, view border), measured once from the activated layout.
void CPlayerView::MeasureFrameExtras() {
  if (!m_pFrame) return;
  // A hidden frame lays its children out only when asked to.
  if (QLayout* pLayout = m_pFrame->layout()) {
    pLayout->activate();
    pLayout->setGeometry(QRect(QPoint(0, 0), m_pFrame->size()));
  }
  const QSize outer = m_pFrame->size();
  if (m_nFrameExtraWidth == 0) m_nFrameExtraWidth = std::max(0, outer.width() - width());
  if (m_nFrameExtraHeight == 0) m_nFrameExtraHeight = std::max(0, outer.height() - height());
}

void CPlayerView::FitFrameToMovie() {
  if (!m_pFrame) return;
  const RECT wa = m_pFrame->GetWorkArea();
  const int waW = wa.right - wa.left;
  const int waH = wa.bottom - wa.top;
  const RECT p = m_pFrame->GetWindowRect();
  if (m_nFrameExtraWidth == 0 || m_nFrameExtraHeight == 0) MeasureFrameExtras();
  const QMargins wm = m_pFrame->WindowManagerMargins();

  SIZE s{0, 0};
  m_wndMovie.GetMovieSize(s, true);
  int w = std::max(static_cast<int>(s.cx) + m_nFrameExtraWidth + wm.left() + wm.right(), kMinFrameWidth);
  int h = std::max(static_cast<int>(s.cy) + m_nFrameExtraHeight + wm.top() + wm.bottom(), kMinFrameHeight);
  int left = p.left, top = p.top;
  bool bSizable = true;
  if (w > waW) {
    h += m_wndMovie.m_cyHScroll;
    w = waW;
    left = wa.left;
    if (h > waH) {
      h = waH;
      top = wa.top;
    }
  } else if (h > waH) {
    w += m_wndMovie.m_cxVScroll;
    h = waH;
    top = wa.top;
    if (w > waW) {
      w = waW;
      left = wa.left;
    }
  } else if (w != waW && h != waH) {
    bSizable = false;
  }
  m_pFrame->SetSizable(bSizable);
  m_pFrame->SetWindowRect(RECT{left, top, left + w, top + h});
  const RECT applied = m_pFrame->GetWindowRect();
  m_sizeLastFit = QSize(applied.right - applied.left, applied.bottom - applied.top);
  if (m_pFrame->isMaximized()) m_wndMovie.UpdateScrollBars();
}

void CPlayerView::FitMovieWindow() {
  if (!m_bInitialized) return;
  m_wndMovie.SetWindowRect(RECT{0, 0, width(), height()});
}

void CPlayerView::resizeEvent(QResizeEvent* pEvent) {
  QWidget::resizeEvent(pEvent);
  FitMovieWindow();
  if (!m_bExtrasCheckPending) {
    m_bExtrasCheckPending = true;
    QTimer::singleShot(0, this, [this] {
      m_bExtrasCheckPending = false;
      CheckFrameExtras();
    });
  }
}

// The bars' heights measured on the hidden frame are estimates (fonts and
// styles settle once it is shown). Once the shown frame has laid itself out,
// extras other than those the fit used are taken, and a frame still at its
// fitted size is fitted again with them.
void CPlayerView::CheckFrameExtras() {
  if (!m_bInitialized || !m_pFrame || !m_pFrame->isVisible() || m_pFrame->isMaximized() ||
      m_pFrame->isFullScreen())
    return;
  if (QLayout* pLayout = m_pFrame->layout(); pLayout && !pLayout->geometry().isValid()) return;
  const int extraW = m_pFrame->width() - width();
  const int extraH = m_pFrame->height() - height();
  if (extraW < 0 || extraH < 0 || (extraW == m_nFrameExtraWidth && extraH == m_nFrameExtraHeight)) return;
  const RECT r = m_pFrame->GetWindowRect();
  const bool bStillFitted = r.right - r.left == m_sizeLastFit.width() && r.bottom - r.top == m_sizeLastFit.height();
  m_nFrameExtraWidth = extraW;
  m_nFrameExtraHeight = extraH;
  if (!bStillFitted) return;
  const RECT wa = m_pFrame->GetWorkArea();
  const bool bCentred = std::abs((r.left + r.right) - (wa.left + wa.right)) <= 1 &&
                        std::abs((r.top + r.bottom) - (wa.top + wa.bottom)) <= 1;
  FitFrameToMovie();
  if (bCentred) m_pFrame->CenterWindow();
}

// ---- opening and closing -------------------------------------------------

BOOL CPlayerView::OpenMovie(const char* pszPath) {
  if (!pszPath) return FALSE;
  if (FileSize(pszPath) >= kLargeMovieBytes) ShowMessageBoxId(IDS_LARGE_FILE_WARNING, MB_OK);
  if (!m_wndMovie.Open(pszPath)) {
    CloseMovie();
    return FALSE;
  }
  m_strMoviePath = pszPath;
  if (m_pFrame) {
    m_pFrame->SetMovieLength(m_wndMovie.GetLength());
    m_pFrame->SetMoviePosition(0);
    m_pFrame->setWindowTitle(QString::fromStdString(FilePart(m_strMoviePath) + " - " + ResString(IDS_APP_TITLE)));
  }
  if (!m_wndMovie.m_bAudioOnly) m_wndMovie.show();
  FitFrameToMovie();
  update();
  return TRUE;
}

void CPlayerView::ReplaceMovie(std::string path) {
  const std::string previous = m_strMoviePath;
  m_wndMovie.hide();
  setFocus();
  // Reopening the temporary movie itself (by any name) must not delete what
  // is now open; it goes when that is closed.
  if (OpenMovie(path.c_str()) && m_config.m_bDeleteOnClose && !previous.empty() && !SameFile(previous, path))
    DeleteTemporaryMovie(previous);
}

void CPlayerView::CloseMovie() {
  m_wndMovie.Close();
  if (m_config.m_bDeleteOnClose && !m_strMoviePath.empty()) DeleteTemporaryMovie(m_strMoviePath);
  FitFrameToMovie();
  m_strMoviePath.clear();
  m_wndMovie.hide();
  if (m_pFrame) {
    m_pFrame->SetMovieLength(-1);
    m_pFrame->setWindowTitle(QString::fromUtf8(LoadResString(IDS_APP_TITLE)));
    m_pFrame->SetPlayState(PLAY_STATE_NONE);
    m_pFrame->SetMoviePosition(0);
  }
  update();
}

// Only the movie named on the command line is ever deleted: the setting is
// cleared at the first deletion. Failures are ignored.
void CPlayerView::DeleteTemporaryMovie(const std::string& path) {
  std::remove(path.c_str());
  m_config.m_bDeleteOnClose = FALSE;
}

void CPlayerView::OnDestroy() {
  if (m_bDestroyed) return;
  m_bDestroyed = true;
  m_wndMovie.Close();
  if (m_config.m_bDeleteOnClose && !m_strMoviePath.empty()) DeleteTemporaryMovie(m_strMoviePath);
}

BOOL CPlayerView::SeekMovie(int nPos, bool bFinal, bool bExact) {
  if (m_pFrame && m_pFrame->m_nPlayState == PLAY_STATE_PLAYING) m_bSeekPending = true;
  int pos = nPos;
  return m_wndMovie.Seek(&pos, bFinal, bExact, false) != 0;
}

// ---- commands ------------------------------------------------------------

bool CPlayerView::HasCommand(unsigned id) const {
  switch (id) {
    case ID_FILE_OPEN:
    case ID_FILE_CLOSE:
    case ID_MOVIE_PLAY:
    case ID_MOVIE_PAUSE:
    case ID_MOVIE_PLAYPAUSE:
    case ID_MOVIE_STOP:
    case ID_MOVIE_BEGIN:
    case ID_MOVIE_REWIND:
    case ID_MOVIE_FORWARD:
    case ID_MOVIE_END:
    case ID_MOVIE_PREVFRAME:
    case ID_MOVIE_NEXTFRAME:
    case ID_MOVIE_REPEAT:
      return true;
    default:
      return false;
  }
}

bool CPlayerView::SeekRule() const {
  return IsMovieOpen() && !IsSeeking() && StateWord() != MOVIE_PLAYING && !m_bSeekPending;
}

bool CPlayerView::OnUpdateCommand(CCmdUI& ui) {
  const bool open = IsMovieOpen();
  const bool playing = StateWord() == MOVIE_PLAYING;
  switch (ui.m_nID) {
    case ID_FILE_OPEN: ui.Enable(true); return true;
    case ID_FILE_CLOSE: ui.Enable(open); return true;
    case ID_MOVIE_PLAY: ui.Enable(open && (IsSeeking() || !playing)); return true;
    case ID_MOVIE_PAUSE: ui.Enable(open && !IsSeeking() && playing); return true;
    case ID_MOVIE_PLAYPAUSE: ui.Enable(open); return true;
    case ID_MOVIE_STOP:
      ui.Enable(open && !IsSeeking() && (playing || StateWord() == MOVIE_PAUSED));
      return true;
    case ID_MOVIE_BEGIN:
    case ID_MOVIE_REWIND:
    case ID_MOVIE_FORWARD:
    case ID_MOVIE_END:
    case ID_MOVIE_PREVFRAME:
    case ID_MOVIE_NEXTFRAME:
      ui.Enable(SeekRule());
      return true;
    case ID_MOVIE_REPEAT:
      ui.Enable(true);
      ui.SetCheck(m_config.m_bRepeat != FALSE);
      return true;
    default:
      return false;
  }
}

bool CPlayerView::OnCommand(unsigned id) {
  switch (id) {
    case ID_FILE_OPEN: OnFileOpen(); return true;
    case ID_FILE_CLOSE: CloseMovie(); return true;
    case ID_MOVIE_PLAY:
    case ID_MOVIE_PAUSE:
    case ID_MOVIE_PLAYPAUSE: OnPlayPause(); return true;
    case ID_MOVIE_STOP: OnStop(); return true;
    case ID_MOVIE_BEGIN: SeekMovie(0, true, true); return true;
    case ID_MOVIE_END: SeekMovie(m_wndMovie.GetLength(), true, true); return true;
    case ID_MOVIE_REWIND: OnStepSeconds(-kSeekStepMs); return true;
    case ID_MOVIE_FORWARD: OnStepSeconds(kSeekStepMs); return true;
    case ID_MOVIE_PREVFRAME: OnStepFrame(false); return true;
    case ID_MOVIE_NEXTFRAME: OnStepFrame(true); return true;
    case ID_MOVIE_REPEAT: OnRepeat(); return true;
    default: return false;
  }
}

void CPlayerView::OnFileOpen() {
  const std::string filter = ResString(IDS_OPEN_FILTER);
  CLongFileDialog dlg(TRUE, nullptr, nullptr, 0, filter.c_str(), this, kOpenMaxPath, ".avi");
  dlg.m_dwFlags |= OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  dlg.m_strTitle = ResString(IDS_OPEN_TITLE);
  dlg.m_strDefExt = "avi";
  dlg.m_nFilterIndex = s_nFilterIndex;
  if (dlg.DoModal() == IDOK) {
    s_nFilterIndex = dlg.m_nFilterIndex;
    ReplaceMovie(dlg.GetPathName());
  }
}

void CPlayerView::OnPlayPause() {
  const int s = IsSeeking() ? MOVIE_SEEKING : StateWord();
  if (s == MOVIE_PLAYING)
    m_wndMovie.Pause();
  else
    m_wndMovie.Play();
  m_bSeekPending = false;
}

void CPlayerView::OnStop() {
  m_wndMovie.Stop(true, false);
  m_bSeekPending = false;
  if (m_pFrame) m_pFrame->SetPlayState(PLAY_STATE_STOPPED);
}

void CPlayerView::OnStepSeconds(int nDeltaMs) {
  int pos = std::max(0, m_wndMovie.GetPosition() + nDeltaMs);
  m_wndMovie.Seek(&pos, true, false, false);
  if (m_pFrame) m_pFrame->SetMoviePosition(m_wndMovie.GetPosition());
}

void CPlayerView::OnStepFrame(bool bForward) {
  if (bForward)
    m_wndMovie.StepForward();
  else
    m_wndMovie.StepBackward();
  if (m_pFrame) m_pFrame->SetMoviePosition(m_wndMovie.GetPosition());
}

void CPlayerView::OnRepeat() {
  m_config.m_bRepeat = !m_config.m_bRepeat;
  DWORD options = m_wndMovie.m_dwOptions.load();
  if (m_config.m_bRepeat)
    options |= MOVIE_OPT_REPEAT;
  else
    options &= ~MOVIE_OPT_REPEAT;
  m_wndMovie.SetOptions(options);
}

// ---- notifications -------------------------------------------------------

bool CPlayerView::event(QEvent* pEvent) {
  if (pEvent->type() == MovieNotifyEvent::kType) {
    const auto* pNotify = static_cast<MovieNotifyEvent*>(pEvent);
    OnMovieNotify(pNotify->wParam(), pNotify->lParam());
    return true;
  }
  return QWidget::event(pEvent);
}

void CPlayerView::OnMovieNotify(unsigned wParam, LONG lParam) {
  if (!m_pFrame) return;
  if (wParam == MOVIE_NOTIFY_POSITION) {
    m_pFrame->SetMoviePosition(lParam);
    return;
  }
  if (wParam != MOVIE_NOTIFY_STATE) return;
  switch (lParam) {
    case MOVIE_PLAYING:
      m_bSeekPending = false;
      m_pFrame->SetPlayState(PLAY_STATE_PLAYING);
      break;
    case MOVIE_PAUSED:
      m_pFrame->SetPlayState(PLAY_STATE_PAUSED);
      break;
    case MOVIE_STOPPED:
      for (int i = 0; i < kStopWaitRounds && !IsSeeking() && StateWord() == MOVIE_PLAYING; ++i)
        std::this_thread::sleep_for(kStopWaitStep);
      m_bSeekPending = false;
      m_pFrame->SetPlayState(PLAY_STATE_STOPPED);
      break;
    case MOVIE_SEEKING:
      m_pFrame->SetPlayState(PLAY_STATE_SEEKING);
      break;
    default:
      m_pFrame->SetPlayState(PLAY_STATE_NONE);
      break;
  }
}

// ---- painting and mouse --------------------------------------------------

bool CPlayerView::IsLogoShown() const {
  return m_bInitialized && !m_logo.isNull() && (!IsMovieOpen() || m_wndMovie.m_bAudioOnly);
}

void CPlayerView::paintEvent(QPaintEvent*) {
  if (!IsLogoShown()) return;
  QPainter painter(this);
  const int x = m_nLogoWidth < width() ? (width() - m_nLogoWidth) / 2 : 0;
  const int y = m_nLogoHeight < height() ? (height() - m_nLogoHeight) / 2 : 0;
  const QRect logoRect(x, y, m_nLogoWidth, m_nLogoHeight);
  painter.drawImage(logoRect.topLeft(), m_logo);
  // Black around it, whatever the background setting says.
  painter.setClipRegion(QRegion(rect()).subtracted(QRegion(logoRect)));
  painter.fillRect(rect(), Qt::black);
}

void CPlayerView::mousePressEvent(QMouseEvent* pEvent) {
  QWidget::mousePressEvent(pEvent);
  m_bDragArmed = pEvent->button() == Qt::LeftButton && m_config.m_bClickDrag;
  m_ptDragStart = pEvent->position().toPoint();
}

// The move starts once the pointer has moved: a window-manager move grabs the
// pointer, and a second click of a double click would never arrive here.
void CPlayerView::mouseMoveEvent(QMouseEvent* pEvent) {
  QWidget::mouseMoveEvent(pEvent);
  if (!m_bDragArmed || !(pEvent->buttons() & Qt::LeftButton)) return;
  if ((pEvent->position().toPoint() - m_ptDragStart).manhattanLength() < QApplication::startDragDistance()) return;
  m_bDragArmed = false;
  QWidget* pMain = GetAppMainWindow();
  if (!pMain || pMain->isMaximized() || pMain->isFullScreen() || (m_pFrame && m_pFrame->m_bFullScreen)) return;
  if (pMain == m_pFrame)
    m_pFrame->StartSystemMove();
  else if (QWindow* pWindow = pMain->windowHandle())
    pWindow->startSystemMove();
}

void CPlayerView::mouseReleaseEvent(QMouseEvent* pEvent) {
  QWidget::mouseReleaseEvent(pEvent);
  m_bDragArmed = false;
}

void CPlayerView::mouseDoubleClickEvent(QMouseEvent* pEvent) {
  QWidget::mouseDoubleClickEvent(pEvent);
  m_bDragArmed = false;
  if (pEvent->button() != Qt::LeftButton || !m_config.m_bClickDrag) return;
  QWidget* pMain = GetAppMainWindow();
  if (!pMain || (m_pFrame && m_pFrame->m_bFullScreen)) return;
  if (pMain == m_pFrame) {
    if (m_pFrame->isMaximized())
      m_pFrame->ShowRestored();
    else
      m_pFrame->ShowMaximized();
  } else {
    pMain->isMaximized() ? pMain->showNormal() : pMain->showMaximized();
  }
}

QMenu* CPlayerView::BuildContextMenu(int nSubMenu) {
  if (!m_pFrame) return nullptr;
  QMenu* pMenu = m_pFrame->BuildPopupMenu(IDR_MAINFRAME, nSubMenu, this);
  if (!pMenu) return nullptr;
  if (m_pFrame->m_bFullScreen || !m_config.m_bAlwaysOnTop)
    pMenu->removeAction(m_pFrame->GetCommandAction(ID_VIEW_ALWAYSONTOP));
  pMenu->addSeparator();
  QAction* pExit = pMenu->addAction(QString::fromUtf8(LoadResString(IDS_MENU_EXIT)));
  CMainFrame* pFrame = m_pFrame;
  connect(pExit, &QAction::triggered, pFrame, [pFrame] { pFrame->RouteCommand(ID_APP_EXIT); });
  return pMenu;
}

void CPlayerView::ShowContextMenu(int nSubMenu) {
  QMenu* pMenu = BuildContextMenu(nSubMenu);
  if (!pMenu) return;
  pMenu->exec(QCursor::pos());
  delete pMenu;
}

void CPlayerView::contextMenuEvent(QContextMenuEvent* pEvent) {
  pEvent->accept();
  ShowContextMenu(1);
}

void CPlayerView::OnPaletteChanged(QWidget* pChangedBy) {
  if (pChangedBy == this || pChangedBy == &m_wndMovie) return;
  m_wndMovie.OnPaletteChanged(pChangedBy);
  update();
}

void CPlayerView::OnQueryNewPalette() { m_wndMovie.OnQueryNewPalette(); }
