// The player's top-level window: menu, accelerators, status bar and the
// player view as its only pane. The view reports length, position and play
// state through SetMovieLength, SetMoviePosition and SetPlayState.
//
// Window rectangles handed in and out (GetWindowRect, SetWindowRect) are the
// outer rectangle the user sees, window-manager frame included. Before the
// window is first mapped the manager's frame is unknown and counted as zero;
// once it is known, a rectangle given before is applied again (see
// OnFrameMarginsKnown).
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "platform/WinTypes.h"
#include "res/CommandTable.h"
#include "ui/CCmdUI.h"

class CPlayerConfig;
class CPlayerView;
class QAction;
class QLabel;
class QMenu;

// Play-state codes of the state pane.
constexpr int PLAY_STATE_NONE = 0;
constexpr int PLAY_STATE_OPENING = 1;
constexpr int PLAY_STATE_STOPPED = 2;
constexpr int PLAY_STATE_PAUSED = 3;
constexpr int PLAY_STATE_PLAYING = 4;
constexpr int PLAY_STATE_SEEKING = 5;

// Posted by the frame to itself after a file drop; opens m_strDroppedFile.
constexpr int WM_OPEN_DROPPED_FILE = 1035;

// The X11 window class (instance and class) of the main window.
inline constexpr char kPlayerWindowClass[] = "PLAYER_CLASS_ACA86486_87EF_4138_BBF8_2ED4341A0DBD";

class CMainFrame : public QMainWindow, public CCmdTarget {
  Q_OBJECT

 public:
  // The settings must outlive the frame; they are fixed before it is created
  // (only m_bRepeat and m_bDeleteOnClose change later, through the view).
  explicit CMainFrame(CPlayerConfig& config, QWidget* pParent = nullptr);
  ~CMainFrame() override;

  // Builds the window from the menu and accelerator resources: style, view,
  // status bar, menu edits, then the view's first update. FALSE on failure.
  BOOL LoadFrame(unsigned nIDResource);

  CPlayerConfig& Config() { return m_config; }
  CPlayerView* GetActiveView() const { return m_pView; }

  // ---- for the view ----
  void SetMovieLength(int ms);
  void SetMoviePosition(int ms);
  void SetPlayState(int state);
  void ToggleFullScreen();

  // ---- commands ----
  QAction* GetCommandAction(unsigned id) const;
  // Runs a command through the route view, frame, application; refused when
  // its update handler disables it at this moment.
  bool RouteCommand(unsigned id);
  // Runs every update handler now (also the status panes).
  void UpdateCommandUI();
  // Handlers of the application (About, ...), last in the route.
  void SetAppCommand(unsigned id, std::function<void()> handler);
  // A menu built from the command actions (shared with the main menu, so
  // the same update rules apply); pIndex: submenu position in the resource,
  // or -1 for the whole menu bar's popups.
  QMenu* BuildPopupMenu(unsigned nIDResource, int nSubMenu, QWidget* pParent);

  bool OnCommand(unsigned id) override;
  bool OnUpdateCommand(CCmdUI& ui) override;
  bool HasCommand(unsigned id) const override;

  // ---- window geometry (outer rectangles, screen coordinates) ----
  RECT GetWindowRect() const;
  void SetWindowRect(const RECT& rc);
  // Asks for the rectangle to be applied again once the window manager's
  // frame is known (start-up placement).
  void SetPlacementWhenMapped(const RECT& rc);
  RECT GetWorkArea() const;
  // Centres the window over the work area; again once the frame is known
  // unless the window was placed otherwise in between.
  void CenterWindow();
  // A user-resizable window (sizing border) or a fixed-size one.
  void SetSizable(bool bSizable);
  bool IsSizable() const { return m_bSizable; }
  // Space the window manager adds around the client area (0 until mapped).
  QMargins WindowManagerMargins() const;
  // Maximise or restore; a fixed size is lifted while maximised.
  void ShowMaximized();
  void ShowRestored();
  void StartSystemMove();

  // Texts of the panes.
  static std::string PlayStateText(int state);
  static std::string TimeText(int position, int length);
  std::string StatePaneText() const;
  std::string TimePaneText() const;

  std::string m_strDroppedFile;
  BOOL m_bFullScreen = FALSE;
  int m_nPlayState = PLAY_STATE_NONE;
  int m_nPosition = 0;
  int m_nLength = -1;
  // The mixer behind the volume commands; none yet, so they stay disabled.
  bool m_bMixerOpen = false;

 protected:
  bool event(QEvent* pEvent) override;
  void closeEvent(QCloseEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  void moveEvent(QMoveEvent* pEvent) override;
  void showEvent(QShowEvent* pEvent) override;
  void changeEvent(QEvent* pEvent) override;
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

 private:
  void CreateActions(unsigned nIDResource);
  QMenu* BuildMenu(std::span<const MenuResItem> items, std::size_t& at, QMenu* pMenu, bool bTopLevel);
  void UpdateMenu(QMenu* pMenu);
  void UpdateAction(unsigned id, QAction* pAction);
  void OnIdle();
  void OnDestroy();
  void ApplyClientSize(int cx, int cy);
  void ApplySizeConstraints();
  void CheckFrameMargins();
  void OnFrameMarginsKnown();

  CPlayerConfig& m_config;
  CPlayerView* m_pView = nullptr;
  QLabel* m_pStatePane = nullptr;
  QLabel* m_pTimePane = nullptr;
  std::map<unsigned, QAction*> m_actions;
  std::map<unsigned, std::function<void()>> m_appCommands;
  QMenu* m_pVolumeMenu = nullptr;  // the 音量 submenu of the menu bar
  bool m_bLoaded = false;
  bool m_bDestroyed = false;
  bool m_bInUpdate = false;
  bool m_bSizable = false;
  bool m_bMarginsKnown = false;
  int m_nMarginChecks = 0;
  bool m_bMarginTimerPending = false;
  bool m_bCentreWhenMapped = false;
  std::optional<RECT> m_placementWhenMapped;
  std::optional<QRect> m_normal;  // client rectangle before maximising
  QSize m_clientSize;  // fixed client size while not sizable
};
