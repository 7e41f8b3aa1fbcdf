#include "engine/AppMainWindow.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>

namespace {
// The QPointer is for the user-interface thread; the atomic copy only answers
// "is there one" for the movie worker, which never touches the window.
QPointer<QWidget> s_pMainWnd;
std::atomic<QWidget*> s_pMainWndSeen{nullptr};
QMetaObject::Connection s_destroyed;
}  // namespace

QWidget* GetAppMainWindow() { return s_pMainWnd.data(); }

bool HasAppMainWindow() { return s_pMainWndSeen.load() != nullptr; }

void SetAppMainWindow(QWidget* pWnd) {
  QObject::disconnect(s_destroyed);
  s_pMainWnd = pWnd;
  s_pMainWndSeen = pWnd;
  if (pWnd) {
    s_destroyed = QObject::connect(pWnd, &QObject::destroyed, [pWnd] {
      QWidget* expected = pWnd;
      s_pMainWndSeen.compare_exchange_strong(expected, nullptr);
    });
  }
}
