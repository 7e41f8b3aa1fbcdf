#include <gtest/gtest.h>

#include <set>

#include "platform/MessageBox.h"
#include "platform/MulDiv.h"
#include "res/StringTable.h"
#include "tests/support/MessageBoxRecorder.h"

TEST(MulDiv, RoundsHalvesAwayFromZero) {
  struct Case {
    int a, b, c, want;
  } cases[] = {
      {1000, 1, 15, 67},      // a 15 fps frame lasts 67 ms
      {1000, 1, 30, 33},      // 33.33
      {5, 1, 2, 3},           // 2.5 -> 3
      {-5, 1, 2, -3},         // -2.5 -> -3
      {7, 1, 2, 4},           // 3.5
      {-7, 1, -2, 4},         // signs cancel
      {3, 1, -2, -2},         // -1.5 -> -2
      {1, 1, 3, 0},           // 0.33
      {2, 1, 3, 1},           // 0.67
      {0x7fffffff, 2, 2, 0x7fffffff},  // 64-bit product
      {65536, 65536, 65536, 65536},
      {0x7fffffff, 2, 1, -1},  // does not fit
      {10, 10, 0, -1},         // zero divisor
  };
  for (const Case& k : cases) EXPECT_EQ(MulDiv(k.a, k.b, k.c), k.want) << k.a << "*" << k.b << "/" << k.c;
}

TEST(StringTable, IdsAreUniqueAndTitleIsThere) {
  std::set<unsigned> seen;
  for (std::size_t i = 0; i < ResStringCount(); ++i)
    EXPECT_TRUE(seen.insert(ResStringIdAt(i)).second) << "duplicate id " << ResStringIdAt(i);
  EXPECT_STREQ(LoadResString(IDS_APP_TITLE), "Quorvix 播放器");
  EXPECT_STREQ(LoadResString(1), "");
  EXPECT_FALSE(HasResString(1));
}

TEST(MessageBox, FormatsAndReachesTheInstalledPresenter) {
  MessageBoxRecorder recorder;
  ShowMessageBox(FormatPrintf(LoadResString(57352), "/tmp/x.avi"), MB_ICONEXCLAMATION);
  ShowMessageBoxId(57353);
  ASSERT_EQ(recorder.Messages().size(), 2u);
  EXPECT_EQ(recorder.Messages()[0].text, "文件未找到: /tmp/x.avi");
  EXPECT_EQ(recorder.Messages()[0].flags, MB_ICONEXCLAMATION);
  EXPECT_EQ(recorder.Messages()[1].text, "版本");
  EXPECT_EQ(FormatPrintf(" %s (%lx)\n", "a.avi", 0x80044066ul), " a.avi (80044066)\n");
  EXPECT_EQ(FormatNumbered("%2 then %1, 100%% %3", {"a", "b"}), "b then a, 100%% ");
}
