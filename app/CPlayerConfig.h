// The player's settings, taken from its command line alone.
#pragma once

#include <string>
#include <vector>

#include "platform/WinTypes.h"

class CPlayerConfig {
 public:
  CPlayerConfig() = default;
  virtual ~CPlayerConfig() = default;

  // Reads the switches and the movie argument. `commandLine` is the text after
  // the program name; `arguments` is the argument list with the program name
  // first. Returns TRUE when every argument was understood. A last argument
  // that should name the movie but lacks the ".avi" ending is reported with
  // a message box.
  BOOL Parse(const std::string& commandLine, const std::vector<std::string>& arguments);
  // The same from the process's own argument vector: the command-line text
  // is argv[1..] joined with single spaces.
  BOOL Parse(int argc, const char* const* argv);

  static std::string JoinCommandLine(const std::vector<std::string>& arguments);

  int m_nPosX = -1;
  int m_nPosY = -1;
  BOOL m_bPosPercent = FALSE;
  BOOL m_bExitAtEnd = FALSE;
  BOOL m_bMaximize = FALSE;
  BOOL m_bStartFullScreen = FALSE;
  BOOL m_bTitleBar = TRUE;
  BOOL m_bMenu = TRUE;
  BOOL m_bToolBar = TRUE;
  BOOL m_bStatusBar = TRUE;
  BOOL m_bRepeat = FALSE;
  BOOL m_bAlwaysOnTop = FALSE;
  BOOL m_bClickDrag = TRUE;
  BOOL m_bAutoPlay = TRUE;
  BOOL m_bStayAtEnd = FALSE;
  COLORREF m_crBackground = 0;
  BOOL m_bDeleteOnClose = FALSE;
  int m_nWidth = -1;
  int m_nHeight = -1;
  BOOL m_bSizePercent = FALSE;
  std::string m_strFileName;

 private:
  BOOL InterpretName(const std::string& name, const std::string& valueText);
};

// "--help" and "--version" given as whole arguments: prints the usage or the
// version to standard output and returns true (the program then exits with 0
// before doing anything else).
bool HandleInfoArguments(const std::vector<std::string>& arguments);
