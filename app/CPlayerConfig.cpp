#include "app/CPlayerConfig.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/MessageBox.h"
#include "res/StringTable.h"

namespace {

constexpr unsigned IDS_VERB_PLAY = 57346;
constexpr unsigned IDS_VERB_OPEN = 57347;
constexpr unsigned IDS_VERB_DELETE = 57348;
constexpr unsigned IDS_BAD_EXTENSION = 57668;
constexpr unsigned IDS_USAGE = 61000;
constexpr const char* kVersion = "4.0.2";

// Only ASCII letters have case here: the Chinese verbs compare byte for byte,
// and UTF-8 continuation bytes never look like ASCII.
char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperCopy(const std::string& s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), FoldUpper);
  return out;
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return UpperCopy(a) == UpperCopy(b); }

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  const std::string p(prefix);
  return s.size() >= p.size() && EqualsNoCase(s.substr(0, p.size()), p);
}

bool EndsWithAvi(const std::string& s) { return s.size() >= 4 && EqualsNoCase(s.substr(s.size() - 4), ".avi"); }

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// POSIX paths begin with "/", which would otherwise read as a switch: a last
// argument beginning with "/" is the movie when it looks like one or names
// something that exists ("/F/M/S" stays switches).
bool IsPathArgument(const std::string& arg, bool isLast) {
  return isLast && !arg.empty() && arg[0] == '/' && (EndsWithAvi(arg) || PathExists(arg));
}

bool IsSwitchArgument(const std::string& arg, bool isLast) {
  if (arg.empty() || (arg[0] != '-' && arg[0] != '/')) return false;
  return !IsPathArgument(arg, isLast);
}

// The text after the first long marker ("/P"), else after the first short one
// ("-P"), with leading white space removed; empty optional-like result when
// neither occurs.
bool FindValue(const std::string& upper, const char* marker, std::string* value) {
  const std::string longMarker = std::string("/") + marker;
  const std::string shortMarker = std::string("-") + marker;
  std::size_t at = upper.find(longMarker);
  std::size_t len = longMarker.size();
  if (at == std::string::npos) {
    at = upper.find(shortMarker);
    len = shortMarker.size();
  }
  if (at == std::string::npos) return false;
  std::size_t start = at + len;
  while (start < upper.size() && (upper[start] == ' ' || upper[start] == '\t' || upper[start] == '\n' ||
                                  upper[start] == '\r' || upper[start] == '\v' || upper[start] == '\f'))
    ++start;
  *value = upper.substr(start);
  return true;
}

void ReadPair(const std::string& upper, const char* marker, int* x, int* y, BOOL* percent) {
  std::string text;
  if (!FindValue(upper, marker, &text)) return;
  int a = 0, b = 0;
  if (std::sscanf(text.c_str(), "%d ,%d", &a, &b) == 2) {
    *x = a;
    *y = b;
    *percent = FALSE;
  } else if (std::sscanf(text.c_str(), "%d%% ,%d%%", &a, &b) == 2) {
    *x = a;
    *y = b;
    *percent = TRUE;
  }
}

int ClampColour(int v) { return v <= 0 ? 0 : (v >= 255 ? 255 : v); }

void ReadColour(const std::string& upper, COLORREF* colour) {
  std::string text;
  if (!FindValue(upper, "BC", &text)) return;
  int r = 0, g = 0, b = 0;
  if (std::sscanf(text.c_str(), "%*[Rr]%*[Gg]%*[Bb] (%d ,%d ,%d )", &r, &g, &b) == 3)
    *colour = RGB(static_cast<BYTE>(ClampColour(r)), static_cast<BYTE>(ClampColour(g)),
                  static_cast<BYTE>(ClampColour(b)));
}

}  // namespace

std::string CPlayerConfig::JoinCommandLine(const std::vector<std::string>& arguments) {
  std::string text;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (i > 1) text += ' ';
    text += arguments[i];
  }
  return text;
}

BOOL CPlayerConfig::Parse(int argc, const char* const* argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  return Parse(JoinCommandLine(arguments), arguments);
}

BOOL CPlayerConfig::Parse(const std::string& commandLine, const std::vector<std::string>& arguments) {
  BOOL result = TRUE;
  const std::size_t count = arguments.size();

  // Values are looked for in the command line without the movie argument, so
  // a path such as /home/me/Pictures/rec.avi never supplies a "/P" value.
  std::string valueText = commandLine;
  if (count > 1) {
    const std::string& last = arguments[count - 1];
    const bool lastIsMovie = !IsSwitchArgument(last, true) && (EndsWithAvi(last) || IsPathArgument(last, true));
    if (lastIsMovie && valueText.size() >= last.size() &&
        valueText.compare(valueText.size() - last.size(), last.size(), last) == 0)
      valueText.erase(valueText.size() - last.size());
  }
  const std::string upper = UpperCopy(valueText);

  for (std::size_t i = 1; i < count; ++i) {
    const std::string& arg = arguments[i];
    const bool isLast = i + 1 == count;
    if (IsSwitchArgument(arg, isLast)) {
      std::string remainder = arg.substr(1);
      for (;;) {
        const std::size_t sep = remainder.find_first_of("/-");
        if (!InterpretName(sep == std::string::npos ? remainder : remainder.substr(0, sep), upper)) result = FALSE;
        if (sep == std::string::npos) break;
        remainder = remainder.substr(sep + 1);
      }
      continue;
    }
    if (!isLast || !m_strFileName.empty()) {
      result = FALSE;
      continue;
    }
    if (EndsWithAvi(arg)) {
      m_strFileName = arg;
    } else {
      ShowMessageBox(FormatPrintf(LoadResString(IDS_BAD_EXTENSION), arg.c_str()), MB_OK);
      result = FALSE;
    }
  }
  return result;
}

BOOL CPlayerConfig::InterpretName(const std::string& name, const std::string& valueText) {
  if (EqualsNoCase(name, "E")) {
    m_bExitAtEnd = TRUE;
  } else if (StartsWithNoCase(name, "P")) {
    ReadPair(valueText, "P", &m_nPosX, &m_nPosY, &m_bPosPercent);
  } else if (StartsWithNoCase(name, "Z")) {
    ReadPair(valueText, "Z", &m_nWidth, &m_nHeight, &m_bSizePercent);
  } else if (name == LoadResString(IDS_VERB_DELETE)) {
    m_bDeleteOnClose = TRUE;
  } else if (EqualsNoCase(name, "MX")) {
    m_bMaximize = TRUE;
  } else if (EqualsNoCase(name, "F")) {
    m_bStartFullScreen = TRUE;
  } else if (EqualsNoCase(name, "T")) {
    m_bTitleBar = FALSE;
  } else if (EqualsNoCase(name, "M")) {
    m_bMenu = FALSE;
  } else if (EqualsNoCase(name, "TB")) {
    m_bToolBar = FALSE;
  } else if (EqualsNoCase(name, "S")) {
    m_bStatusBar = FALSE;
  } else if (EqualsNoCase(name, "R")) {
    m_bRepeat = TRUE;
  } else if (EqualsNoCase(name, "A")) {
    m_bAlwaysOnTop = TRUE;
  } else if (EqualsNoCase(name, "D")) {
    m_bClickDrag = FALSE;
  } else if (StartsWithNoCase(name, "BC")) {
    ReadColour(valueText, &m_crBackground);
  } else if (EqualsNoCase(name, "ST")) {
    m_bStayAtEnd = TRUE;
  } else if (name == LoadResString(IDS_VERB_PLAY)) {
    m_bAutoPlay = TRUE;
  } else if (name == LoadResString(IDS_VERB_OPEN)) {
    m_bAutoPlay = FALSE;
  } else {
    return FALSE;
  }
  return TRUE;
}

bool HandleInfoArguments(const std::vector<std::string>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--help") {
      std::fputs(LoadResString(IDS_USAGE), stdout);
      return true;
    }
    if (arguments[i] == "--version") {
      std::printf("%s %s\n", LoadResString(IDS_APP_TITLE), kVersion);
      return true;
    }
  }
  return false;
}
