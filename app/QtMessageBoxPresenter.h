// Shows the player's message boxes as Qt message boxes: captioned with the
// application title, an OK button only, an icon only when the flags ask for
// one. Callable from any thread: other threads wait for the box shown on the
// user-interface thread.
#pragma once

#include "platform/MessageBox.h"

class QtMessageBoxPresenter : public MessageBoxPresenter {
 public:
  int Present(const std::string& text, unsigned flags) override;

 private:
  int PresentHere(const std::string& text, unsigned flags);
};
