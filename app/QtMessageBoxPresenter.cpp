#include "app/QtMessageBoxPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

#include "engine/AppMainWindow.h"
#include "res/StringTable.h"

namespace {

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

int QtMessageBoxPresenter::Present(const std::string& text, unsigned flags) {
  QCoreApplication* pApp = QCoreApplication::instance();
  if (!qobject_cast<QApplication*>(pApp)) {
    std::fprintf(stderr, "%s: %s\n", LoadResString(IDS_APP_TITLE), text.c_str());
    return IDOK;
  }
  if (QThread::currentThread() == pApp->thread()) return PresentHere(text, flags);
  int result = IDOK;
  QMetaObject::invokeMethod(
      pApp, [&] { result = PresentHere(text, flags); }, Qt::BlockingQueuedConnection);
  return result;
}

int QtMessageBoxPresenter::PresentHere(const std::string& text, unsigned flags) {
  QWidget* pOwner = GetAppMainWindow();
  if (pOwner && !pOwner->isVisible()) pOwner = nullptr;
  QMessageBox box(IconOf(flags), QString::fromUtf8(LoadResString(IDS_APP_TITLE)), QString::fromStdString(text),
                  QMessageBox::Ok, pOwner);
  box.setTextFormat(Qt::PlainText);  // paths may hold "<" and "&"
  box.exec();
  return IDOK;
}
