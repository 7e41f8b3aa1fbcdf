// Every message box of the player goes through here: captioned with the
// application title (string 57344), an OK button only unless the flags ask
// for an icon. The application installs a window-system presenter; command-line
// tools report on standard error; tests install a recorder.
#pragma once

#include <initializer_list>
#include <string>

constexpr unsigned MB_OK = 0x00000000;
constexpr unsigned MB_ICONHAND = 0x00000010;
constexpr unsigned MB_ICONSTOP = MB_ICONHAND;
constexpr unsigned MB_ICONERROR = MB_ICONHAND;
constexpr unsigned MB_ICONQUESTION = 0x00000020;
constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr unsigned MB_ICONASTERISK = 0x00000040;
constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr unsigned MB_ICONMASK = 0x000000F0;
constexpr int IDOK = 1;

class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  // Shows text (UTF-8) and returns the button pressed (IDOK). May be called
  // from any thread; the presenter takes care of reaching its own thread.
  virtual int Present(const std::string& text, unsigned flags) = 0;
};

// Installs the process-wide presenter (null restores the standard-error one)
// and returns the previous one. The caller keeps ownership.
MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter);

int ShowMessageBox(const std::string& text, unsigned flags = MB_OK);
int ShowMessageBoxId(unsigned stringId, unsigned flags = MB_OK);

// printf-style formatting into a std::string (%s, %d, %lx, %4.4hs, ...).
std::string FormatPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Numbered-argument formatting: %1 .. %9 are replaced by the arguments; "%%"
// stays as it is; a number without an argument is dropped.
std::string FormatNumbered(const std::string& format, std::initializer_list<std::string> args);
