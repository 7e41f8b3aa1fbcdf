// Records every message box instead of showing it; never blocks.
// Installed for its lifetime (RAII); thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

struct RecordedMessage {
  std::string text;
  unsigned flags;
};

class MessageBoxRecorder : public MessageBoxPresenter {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder() override;
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  int Present(const std::string& text, unsigned flags) override;

  std::vector<RecordedMessage> Messages() const;
  std::vector<std::string> Texts() const;
  void Clear();

 private:
  mutable std::mutex m_lock;
  std::vector<RecordedMessage> m_messages;
  MessageBoxPresenter* m_previous;
};
