#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CPlayerConfig.h"
#include "res/StringTable.h"
#include "tests/support/MessageBoxRecorder.h"

namespace {

struct Parsed {
  CPlayerConfig config;
  BOOL result;
  std::vector<std::string> messages;
};

Parsed ParseArgs(std::vector<std::string> args) {
  args.insert(args.begin(), "quorvix-player");
  MessageBoxRecorder recorder;
  Parsed p;
  p.result = p.config.Parse(CPlayerConfig::JoinCommandLine(args), args);
  p.messages = recorder.Texts();
  return p;
}

std::string BadExtension(const std::string& arg) {
  return "文件“" + arg + "”没有以有效的扩展名结束。扩展名必须是以下一种: .avi";
}

}  // namespace

TEST(CommandLine, NoArgumentsKeepsEveryDefault) {
  Parsed p = ParseArgs({});
  EXPECT_TRUE(p.result);
  const CPlayerConfig d;
  EXPECT_EQ(p.config.m_nPosX, -1);
  EXPECT_EQ(p.config.m_nWidth, -1);
  EXPECT_TRUE(p.config.m_bTitleBar && p.config.m_bMenu && p.config.m_bToolBar && p.config.m_bStatusBar);
  EXPECT_TRUE(p.config.m_bAutoPlay && p.config.m_bClickDrag);
  EXPECT_FALSE(p.config.m_bRepeat || p.config.m_bExitAtEnd || p.config.m_bDeleteOnClose || p.config.m_bStayAtEnd);
  EXPECT_EQ(p.config.m_crBackground, 0u);
  EXPECT_TRUE(p.config.m_strFileName.empty());
  EXPECT_TRUE(p.messages.empty());
}

TEST(CommandLine, SwitchNamesSetTheirFields) {
  struct Case {
    std::vector<std::string> args;
    BOOL result;
    bool (*check)(const CPlayerConfig&);
  } cases[] = {
      {{"/F/M/S"}, TRUE, [](const CPlayerConfig& c) { return c.m_bStartFullScreen && !c.m_bMenu && !c.m_bStatusBar && c.m_bToolBar; }},
      {{"-F-M"}, TRUE, [](const CPlayerConfig& c) { return c.m_bStartFullScreen && !c.m_bMenu; }},
      {{"/F-M"}, TRUE, [](const CPlayerConfig& c) { return c.m_bStartFullScreen && !c.m_bMenu; }},
      {{"-f"}, TRUE, [](const CPlayerConfig& c) { return c.m_bStartFullScreen == TRUE; }},
      {{"/e", "/mx", "/tb", "/t"}, TRUE, [](const CPlayerConfig& c) { return c.m_bExitAtEnd && c.m_bMaximize && !c.m_bToolBar && !c.m_bTitleBar; }},
      {{"/R/A/D/ST"}, TRUE, [](const CPlayerConfig& c) { return c.m_bRepeat && c.m_bAlwaysOnTop && !c.m_bClickDrag && c.m_bStayAtEnd; }},
      {{"/打开"}, TRUE, [](const CPlayerConfig& c) { return !c.m_bAutoPlay; }},
      {{"/打开", "/播放"}, TRUE, [](const CPlayerConfig& c) { return c.m_bAutoPlay == TRUE; }},
      {{"/删除"}, TRUE, [](const CPlayerConfig& c) { return c.m_bDeleteOnClose == TRUE; }},
      // Prefix rules: anything beginning with P or Z is a position or size switch.
      {{"/PLAY"}, TRUE, [](const CPlayerConfig& c) { return c.m_nPosX == -1 && c.m_bAutoPlay; }},
      {{"/ZOOM"}, TRUE, [](const CPlayerConfig& c) { return c.m_nWidth == -1; }},
      // Unknown and empty names only make the result FALSE.
      {{"/X"}, FALSE, [](const CPlayerConfig& c) { return c.m_bMenu == TRUE; }},
      {{"/", "/R"}, FALSE, [](const CPlayerConfig& c) { return c.m_bRepeat == TRUE; }},
      {{"//F"}, FALSE, [](const CPlayerConfig& c) { return c.m_bStartFullScreen == TRUE; }},
      {{"/FF"}, FALSE, [](const CPlayerConfig& c) { return !c.m_bStartFullScreen; }},
  };
  for (const Case& k : cases) {
    Parsed p = ParseArgs(k.args);
    EXPECT_EQ(p.result, k.result) << k.args[0];
    EXPECT_TRUE(k.check(p.config)) << k.args[0];
    EXPECT_TRUE(p.messages.empty()) << k.args[0];
  }
}

TEST(CommandLine, ValuesOfPositionSizeAndColour) {
  struct Case {
    std::vector<std::string> args;
    BOOL result;
    int x, y;
    BOOL posPercent;
    int w, h;
    BOOL sizePercent;
    COLORREF colour;
  } cases[] = {
      {{"/P100,200", "movie.avi"}, TRUE, 100, 200, FALSE, -1, -1, FALSE, 0},
      {{"/P", "100,200", "movie.avi"}, FALSE, 100, 200, FALSE, -1, -1, FALSE, 0},  // stray value argument
      {{"/P-10,20"}, FALSE, -10, 20, FALSE, -1, -1, FALSE, 0},                     // "10,20" is a name too
      {{"/P50%,25%"}, TRUE, 50, 25, TRUE, -1, -1, FALSE, 0},
      {{"/P50,25%"}, TRUE, 50, 25, FALSE, -1, -1, FALSE, 0},
      {{"/p 7 , 8%", "a.avi"}, TRUE, 7, 8, FALSE, -1, -1, FALSE, 0},
      {{"/Z640,480"}, TRUE, -1, -1, FALSE, 640, 480, FALSE, 0},
      {{"-Z50%,50%"}, TRUE, -1, -1, FALSE, 50, 50, TRUE, 0},
      {{"/Zbig"}, TRUE, -1, -1, FALSE, -1, -1, FALSE, 0},  // unreadable value: nothing changes
      {{"/BCRGB(0,0,64)"}, TRUE, -1, -1, FALSE, -1, -1, FALSE, 0x400000},
      {{"/bcrgb(1,2,3"}, TRUE, -1, -1, FALSE, -1, -1, FALSE, 0x030201},  // no closing parenthesis needed
      {{"/BCRGB(300,-5,128)"}, FALSE, -1, -1, FALSE, -1, -1, FALSE, 0x8000FF},
      {{"/BCRRGGB ( 10 , 20 , 30 )"}, TRUE, -1, -1, FALSE, -1, -1, FALSE, 0x1E140A},
      {{"/BCRGB(1,2)"}, TRUE, -1, -1, FALSE, -1, -1, FALSE, 0},
      // The long marker wins over the short one; every P reads the first "/P".
      {{"-P1,2", "/P3,4"}, TRUE, 3, 4, FALSE, -1, -1, FALSE, 0},
      {{"/P1,2", "/P3,4"}, TRUE, 1, 2, FALSE, -1, -1, FALSE, 0},
  };
  for (const Case& k : cases) {
    Parsed p = ParseArgs(k.args);
    const std::string what = k.args[0];
    EXPECT_EQ(p.result, k.result) << what;
    EXPECT_EQ(p.config.m_nPosX, k.x) << what;
    EXPECT_EQ(p.config.m_nPosY, k.y) << what;
    EXPECT_EQ(p.config.m_bPosPercent, k.posPercent) << what;
    EXPECT_EQ(p.config.m_nWidth, k.w) << what;
    EXPECT_EQ(p.config.m_nHeight, k.h) << what;
    EXPECT_EQ(p.config.m_bSizePercent, k.sizePercent) << what;
    EXPECT_EQ(p.config.m_crBackground, k.colour) << what;
  }
}

TEST(CommandLine, MovieArgumentRules) {
  struct Case {
    std::vector<std::string> args;
    BOOL result;
    std::string file;
    std::vector<std::string> messages;
  } cases[] = {
      {{"movie.AVI"}, TRUE, "movie.AVI", {}},
      {{"movie.avi2"}, FALSE, "", {BadExtension("movie.avi2")}},
      {{"movie"}, FALSE, "", {BadExtension("movie")}},
      {{"录像 1.avi"}, TRUE, "录像 1.avi", {}},
      // Only the last plain argument can be the movie.
      {{"first.avi", "second.avi"}, FALSE, "second.avi", {}},
      {{"movie.avi", "/F"}, FALSE, "", {}},
      {{"/P", "100,200"}, FALSE, "", {BadExtension("100,200")}},
      // POSIX paths: a last argument beginning with "/" is the movie when it
      // ends in ".avi" or exists; otherwise it stays switches.
      {{"/F", "/home/me/Pictures/rec.avi"}, TRUE, "/home/me/Pictures/rec.avi", {}},
      {{"/home/me/REC.AVI"}, TRUE, "/home/me/REC.AVI", {}},
      {{"/F/M/S"}, TRUE, "", {}},
      {{"/tmp"}, FALSE, "", {BadExtension("/tmp")}},
      {{"/tmp/rec.avi", "/F"}, FALSE, "", {}},  // not last: read as switches
  };
  for (const Case& k : cases) {
    Parsed p = ParseArgs(k.args);
    const std::string what = k.args.back();
    EXPECT_EQ(p.result, k.result) << what;
    EXPECT_EQ(p.config.m_strFileName, k.file) << what;
    EXPECT_EQ(p.messages, k.messages) << what;
  }
}

TEST(CommandLine, PathsNeverSupplySwitchValues) {
  Parsed p = ParseArgs({"/Pictures/P5,5/x.avi"});
  EXPECT_EQ(p.config.m_strFileName, "/Pictures/P5,5/x.avi");
  EXPECT_EQ(p.config.m_nPosX, -1);

  p = ParseArgs({"/Z10,20", "/home/me/Pictures/rec.avi"});
  EXPECT_EQ(p.config.m_nWidth, 10);
  EXPECT_EQ(p.config.m_nHeight, 20);
  EXPECT_EQ(p.config.m_nPosX, -1);
  EXPECT_TRUE(p.result);
}

TEST(CommandLine, ArgvFormJoinsWithSingleSpaces) {
  const char* argv[] = {"quorvix-player", "/P", "10,20", "/Z30,40", "film.avi"};
  CPlayerConfig c;
  EXPECT_FALSE(c.Parse(5, argv));  // the stray "10,20"
  EXPECT_EQ(c.m_nPosX, 10);
  EXPECT_EQ(c.m_nPosY, 20);
  EXPECT_EQ(c.m_nWidth, 30);
  EXPECT_EQ(c.m_strFileName, "film.avi");
  EXPECT_EQ(CPlayerConfig::JoinCommandLine({"p", "a b", "c"}), "a b c");
}

TEST(CommandLine, HelpAndVersionAreWholeArguments) {
  EXPECT_FALSE(HandleInfoArguments({"quorvix-player", "/F", "x.avi"}));
  EXPECT_FALSE(HandleInfoArguments({"quorvix-player", "--helper"}));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(HandleInfoArguments({"quorvix-player", "/F", "--version"}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Quorvix 播放器 4.0.2\n");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(HandleInfoArguments({"quorvix-player", "--help"}));
  const std::string usage = testing::internal::GetCapturedStdout();
  EXPECT_NE(usage.find("/BCRGB(r,g,b)"), std::string::npos);
  EXPECT_NE(usage.find("/删除"), std::string::npos);
}
