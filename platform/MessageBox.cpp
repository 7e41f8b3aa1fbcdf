#include "platform/MessageBox.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "res/StringTable.h"

namespace {

class StandardErrorPresenter : public MessageBoxPresenter {
 public:
  int Present(const std::string& text, unsigned) override {
    std::fprintf(stderr, "%s: %s\n", LoadResString(IDS_APP_TITLE), text.c_str());
    return IDOK;
  }
};

StandardErrorPresenter g_standardError;
std::atomic<MessageBoxPresenter*> g_presenter{nullptr};

}  // namespace

MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
  return g_presenter.exchange(presenter);
}

int ShowMessageBox(const std::string& text, unsigned flags) {
  MessageBoxPresenter* p = g_presenter.load();
  return (p ? p : &g_standardError)->Present(text, flags);
}

int ShowMessageBoxId(unsigned stringId, unsigned flags) { return ShowMessageBox(ResString(stringId), flags); }

std::string FormatPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

std::string FormatNumbered(const std::string& format, std::initializer_list<std::string> args) {
  std::string out;
  out.reserve(format.size());
  const std::string* argv = args.begin();
  const std::size_t argc = args.size();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      const char d = format[i + 1];
      if (d >= '1' && d <= '9') {
        const std::size_t k = static_cast<std::size_t>(d - '1');
        if (k < argc) out += argv[k];
        ++i;
        continue;
      }
      if (d == '%') {
        out += "%%";
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}
