// The application object: runs the Qt application, owns the settings and
// the main window, and starts the player up: settings from the command line,
// the frame with its view, the movie named on the command line, placement.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/CPlayerConfig.h"
#include "app/QtMessageBoxPresenter.h"
#include "platform/WinTypes.h"

class CMainFrame;

class CPlayerApp {
 public:
  CPlayerApp();
  ~CPlayerApp();
  CPlayerApp(const CPlayerApp&) = delete;
  CPlayerApp& operator=(const CPlayerApp&) = delete;

  // Builds the Qt application from a private copy of argv, starts up and
  // runs the event loop. Returns the process's exit status: non-zero when
  // start-up failed (the window was never shown).
  int Run(int argc, char** argv);

  // Names the application and its window class.
  BOOL InitApplication();
  // Start-up on an existing Qt application; FALSE ends the program. Message
  // boxes go to whatever presenter is installed (Run installs the Qt one).
  BOOL InitInstance(const std::vector<std::string>& arguments);
  // Destroys the main window (after a failed start-up or at the end).
  void ExitInstance();

  CMainFrame* GetMainWnd() const { return m_pMainWnd.get(); }

  CPlayerConfig m_config;

 private:
  std::unique_ptr<CMainFrame> m_pMainWnd;
  QtMessageBoxPresenter m_presenter;
  MessageBoxPresenter* m_pPreviousPresenter = nullptr;
  bool m_bPresenterInstalled = false;
};
