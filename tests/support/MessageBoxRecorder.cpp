#include "tests/support/MessageBoxRecorder.h"

MessageBoxRecorder::MessageBoxRecorder() : m_previous(SetMessageBoxPresenter(this)) {}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxPresenter(m_previous); }

int MessageBoxRecorder::Present(const std::string& text, unsigned flags) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_messages.push_back({text, flags});
  return IDOK;
}

std::vector<RecordedMessage> MessageBoxRecorder::Messages() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_messages;
}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::lock_guard<std::mutex> guard(m_lock);
  std::vector<std::string> out;
  for (const auto& m : m_messages) out.push_back(m.text);
  return out;
}

void MessageBoxRecorder::Clear() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_messages.clear();
}
