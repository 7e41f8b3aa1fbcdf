#include "app/CPlayerApp.h"

#include <QApplication>
#include <filesystem>

#include "app/InitialPlacement.h"
#include "engine/AppMainWindow.h"
#include "platform/MessageBox.h"
#include "res/CommandTable.h"
#include "res/StringTable.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"

namespace {

constexpr unsigned IDS_FILE_NOT_FOUND = 57352;

}  // namespace

CPlayerApp::CPlayerApp() = default;

CPlayerApp::~CPlayerApp() {
  ExitInstance();
  if (m_bPresenterInstalled) SetMessageBoxPresenter(m_pPreviousPresenter);
}

BOOL CPlayerApp::InitApplication() {
  // The class half of the X11 window class; the instance half is given to
  // Qt as "-name" by Run. Other programs find a running player by it.
  QCoreApplication::setApplicationName(QString::fromLatin1(kPlayerWindowClass));
  QGuiApplication::setApplicationDisplayName(QString());
  QApplication::setQuitOnLastWindowClosed(true);
  return TRUE;
}

BOOL CPlayerApp::InitInstance(const std::vector<std::string>& arguments) {
  m_config.Parse(CPlayerConfig::JoinCommandLine(arguments), arguments);

  m_pMainWnd = std::make_unique<CMainFrame>(m_config);
  SetAppMainWindow(m_pMainWnd.get());
  if (!m_pMainWnd->LoadFrame(IDR_MAINFRAME)) return FALSE;

  if (!m_config.m_strFileName.empty()) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(m_config.m_strFileName), ec)) {
      if (CPlayerView* pView = m_pMainWnd->GetActiveView())
        if (!pView->OpenMovie(m_config.m_strFileName.c_str())) return FALSE;
    } else {
      ShowMessageBox(FormatPrintf(LoadResString(IDS_FILE_NOT_FOUND), m_config.m_strFileName.c_str()), MB_OK);
    }
  }

  m_pMainWnd->CenterWindow();

  if (m_config.m_bStartFullScreen) {
    m_pMainWnd->ToggleFullScreen();
    m_pMainWnd->update();
  } else if (m_config.m_bMaximize) {
    m_pMainWnd->ShowMaximized();
  } else {
    const std::optional<RECT> placed =
        ComputeInitialPlacement(m_config, m_pMainWnd->GetWindowRect(), m_pMainWnd->GetWorkArea());
    if (placed) {
      m_pMainWnd->SetWindowRect(*placed);
      m_pMainWnd->SetPlacementWhenMapped(*placed);
    }
    m_pMainWnd->show();
  }
  m_pMainWnd->update();
  return TRUE;
}

void CPlayerApp::ExitInstance() {
  if (!m_pMainWnd) return;
  if (GetAppMainWindow() == m_pMainWnd.get()) SetAppMainWindow(nullptr);
  m_pMainWnd.reset();
}

int CPlayerApp::Run(int argc, char** argv) {
  const std::vector<std::string> arguments(argv, argv + argc);

  // Qt takes its own options (-style, -display, ...) out of the argv it is
  // given; hand it a private copy so the command line stays as typed. The
  // added "-name" sets the instance half of the X11 window class.
  std::string nameOption = "-name";
  std::string className = kPlayerWindowClass;
  std::vector<char*> qtArgv(argv, argv + argc);
  qtArgv.push_back(nameOption.data());
  qtArgv.push_back(className.data());
  int qtArgc = static_cast<int>(qtArgv.size());
  qtArgv.push_back(nullptr);
  QApplication app(qtArgc, qtArgv.data());
  m_pPreviousPresenter = SetMessageBoxPresenter(&m_presenter);
  m_bPresenterInstalled = true;

  if (!InitApplication()) return 1;
  if (!InitInstance(arguments)) {
    ExitInstance();
    SetMessageBoxPresenter(m_pPreviousPresenter);
    m_bPresenterInstalled = false;
    return 1;
  }
  const int status = app.exec();
  ExitInstance();
  SetMessageBoxPresenter(m_pPreviousPresenter);
  m_bPresenterInstalled = false;
  return status;
}
