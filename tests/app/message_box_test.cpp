#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/QtMessageBoxPresenter.h"
#include "tests/ui/PlayerTestSupport.h"

namespace {

struct SeenBox {
  std::string title, text;
  QMessageBox::Icon icon;
  int buttons;
};

}  // namespace

// Boxes are answered by a timer as soon as they are modal; what they showed
// is kept.
TEST(QtMessageBoxPresenter, OkOnlyBoxWithTitleFromAnyThread) {
  TestApp();
  QtMessageBoxPresenter presenter;
  MessageBoxPresenter* previous = SetMessageBoxPresenter(&presenter);
  std::vector<SeenBox> seen;
  QTimer answer;
  answer.setInterval(5);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                      static_cast<int>(box->buttons().size())});
      box->accept();
    }
  });
  answer.start();

  EXPECT_EQ(ShowMessageBox("界面线程", MB_OK), IDOK);

  std::atomic<bool> done{false};
  int workerResult = 0;
  std::thread worker([&] {
    workerResult = ShowMessageBox("工作线程", MB_ICONEXCLAMATION);
    done = true;
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done && std::chrono::steady_clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();
  SetMessageBoxPresenter(previous);

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(workerResult, IDOK);
  EXPECT_EQ(seen[0].title, "Quorvix 播放器");
  EXPECT_EQ(seen[0].text, "界面线程");
  EXPECT_EQ(seen[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(seen[0].buttons, 1);
  EXPECT_EQ(seen[1].text, "工作线程");
  EXPECT_EQ(seen[1].icon, QMessageBox::Warning);
  EXPECT_EQ(seen[1].buttons, 1);
}
