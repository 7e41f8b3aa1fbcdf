#include <cstdlib>
#include <string>
#include <vector>

#include "app/CPlayerApp.h"
#include "app/CPlayerConfig.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv, argv + argc);
  if (HandleInfoArguments(arguments)) return 0;

  // Without an explicit platform, use X11 (also through XWayland) where a
  // display is reachable: placement, stay-on-top and the window class need it.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr)
    setenv("QT_QPA_PLATFORM", "xcb", 1);

  CPlayerApp app;
  return app.Run(argc, argv);
}
