#include <QApplication>
#include <QMainWindow>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/CPlayerConfig.h"
#include "res/StringTable.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv, argv + argc);
  if (HandleInfoArguments(arguments)) return 0;

  // Without an explicit platform, use X11 (also through XWayland) where a
  // display is reachable: placement, stay-on-top and the window class need it.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr)
    setenv("QT_QPA_PLATFORM", "xcb", 1);

  // Qt takes its own options (-style, -display, ...) out of the argv it is
  // given; hand it a private copy so the command line stays as typed.
  std::vector<char*> qtArgv(argv, argv + argc);
  qtArgv.push_back(nullptr);
  int qtArgc = argc;
  QApplication app(qtArgc, qtArgv.data());

  CPlayerConfig config;
  config.Parse(CPlayerConfig::JoinCommandLine(arguments), arguments);

  QMainWindow window;
  window.setWindowTitle(QString::fromUtf8(LoadResString(IDS_APP_TITLE)));
  window.resize(400, 300);
  window.show();
  return app.exec();
}
