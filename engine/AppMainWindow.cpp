#include "engine/AppMainWindow.h"

#include <QPointer>
#include <QWidget>

namespace {
// Only the user-interface thread reads or writes it; QPointer clears itself
// when the window is destroyed.
QPointer<QWidget>& MainWindowSlot() {
  static QPointer<QWidget> s_pMainWnd;
  return s_pMainWnd;
}
}  // namespace

QWidget* GetAppMainWindow() { return MainWindowSlot().data(); }

void SetAppMainWindow(QWidget* pWnd) { MainWindowSlot() = pWnd; }
