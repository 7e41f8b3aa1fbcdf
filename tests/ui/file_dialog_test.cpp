#include <gtest/gtest.h>

#include <fstream>

#include "res/StringTable.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/ui/PlayerTestSupport.h"
#include "ui/CLongFileDialog.h"

namespace {

// A path of exactly n bytes ending in `ending`.
std::string PathOfLength(std::size_t n, const std::string& ending) {
  std::string p = "/movies/";
  p += std::string(n - p.size() - ending.size(), 'a');
  return p + ending;
}

struct NameCase {
  const char* what;
  BOOL open;
  int maxPath;
  const char* extensions;
  std::string path;
  bool refused;
  std::string message;  // the one message box shown, empty when accepted
};

}  // namespace

TEST(LongFileDialog, ChecksLengthThenExtension) {
  TestApp();
  const std::string longNote = "\r\n\r\n" + ResString(10405);
  const std::string p261 = PathOfLength(261, ".avi");
  const std::string p255 = PathOfLength(255, ".txt");
  const std::string p260 = PathOfLength(260, ".txt");
  const std::string p254 = PathOfLength(254, ".txt");
  const std::string p300 = PathOfLength(300, ".avi");
  const NameCase cases[] = {
      {"ending in another case", TRUE, 260, ".avi", "/movies/demo.AVI", false, ""},
      {"wrong ending", TRUE, 260, ".avi", "/movies/demo.avi.txt", true,
       "文件“/movies/demo.avi.txt”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi"},
      {"one byte too long, open", TRUE, 260, ".avi", p261, true,
       "“文件“" + p261 + "”不能打开，因为路径太长，请使用一个短的路径。"},
      {"one byte too long, save", FALSE, 260, ".avi", p261, true,
       "文件“" + p261 + "”不能保存，因为路径太长，请使用一个短的路径。"},
      {"too long and a wrong ending: length first", TRUE, 260, ".avi", PathOfLength(261, ".txt"), true,
       "“文件“" + PathOfLength(261, ".txt") + "”不能打开，因为路径太长，请使用一个短的路径。"},
      {"exactly the limit", TRUE, 260, ".avi", PathOfLength(260, ".avi"), false, ""},
      {"254 bytes, wrong ending: no note", TRUE, 260, ".avi", p254, true,
       "文件“" + p254 + "”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi"},
      {"255 bytes, wrong ending: note", TRUE, 260, ".avi", p255, true,
       "文件“" + p255 + "”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi" + longNote},
      {"260 bytes, wrong ending: note", TRUE, 260, ".avi", p260, true,
       "文件“" + p260 + "”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi" + longNote},
      {"two endings listed with a space", TRUE, 260, ".avi;.wyx", "/m/a.mp4", true,
       "文件“/m/a.mp4”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi .wyx"},
      {"second of two endings", TRUE, 260, ".avi;.wyx", "/m/a.WYX", false, ""},
      {"limit 0: no length check", TRUE, 0, ".avi", p300, false, ""},
      {"no extensions: no ending check", TRUE, 260, "", "/m/a.mp4", false, ""},
      {"ending longer than the path", TRUE, 260, ".avi", "vi", true,
       "文件“vi”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi"},
      {"percent signs in the path are shown as they are", TRUE, 260, ".avi", "/m/100%%.txt", true,
       "文件“/m/100%%.txt”不是以一个有效的扩展名结尾。扩展名必须是下列扩展名之一: .avi"},
  };
  for (const NameCase& c : cases) {
    MessageBoxRecorder recorder;
    CLongFileDialog dlg(c.open, nullptr, nullptr, 0, "AVI 文件 (*.avi)|*.avi||", nullptr, c.maxPath, c.extensions);
    EXPECT_EQ(dlg.CheckPathName(c.path) != FALSE, c.refused) << c.what;
    const auto messages = recorder.Messages();
    if (c.message.empty()) {
      EXPECT_TRUE(messages.empty()) << c.what;
    } else {
      ASSERT_EQ(messages.size(), 1u) << c.what;
      EXPECT_EQ(messages[0].text, c.message) << c.what;
      EXPECT_EQ(messages[0].flags, MB_OK) << c.what;
    }
  }
}

TEST(LongFileDialog, RefusedNameKeepsTheDialogOpen) {
  TestApp();
  TempDir dir;
  for (const char* name : {"notes.txt", "movie.avi"}) std::ofstream(dir.File(name)) << "x";

  MessageBoxRecorder recorder;
  CLongFileDialog dlg(TRUE, nullptr, nullptr, 0, "AVI 文件 (*.avi)|*.avi|所有文件 (*.*)|*.*||", nullptr, 260, ".avi");
  EXPECT_TRUE(dlg.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dlg.nameFilters(), QStringList({"AVI 文件 (*.avi)", "所有文件 (*.*)"}));

  dlg.selectFile(QString::fromStdString(dir.File("notes.txt")));
  dlg.accept();
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(recorder.Messages().size(), 1u);
  EXPECT_EQ(dlg.GetPathName(), dir.File("notes.txt"));  // the name stays in place

  dlg.selectFile(QString::fromStdString(dir.File("movie.avi")));
  dlg.accept();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(recorder.Messages().size(), 1u);
}
