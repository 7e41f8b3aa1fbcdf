#include "res/CommandTable.h"

namespace {

using K = MenuResItem;

constexpr MenuResItem kMainMenu[] = {
    {K::Popup, 0, "文件(&F)"},
    {K::Item, ID_FILE_OPEN, "打开(&O)...\tCtrl+O"},
    {K::Item, ID_FILE_CLOSE, "关闭(&C)"},
    {K::Separator, 0, nullptr},
    {K::Item, ID_APP_EXIT, "退出(&X)"},
    {K::End, 0, nullptr},
    {K::Popup, 0, "播放(&P)"},
    {K::Item, ID_MOVIE_PLAYPAUSE, "播放/暂停(&P)\tSpace"},
    {K::Item, ID_MOVIE_STOP, "停止(&S)\tCtrl+S"},
    {K::Separator, 0, nullptr},
    {K::Item, ID_MOVIE_BEGIN, "起始(&B)\tHome"},
    {K::Item, ID_MOVIE_REWIND, "倒退(&R)\tPage Up"},
    {K::Item, ID_MOVIE_FORWARD, "前进(&F)\tPage Down"},
    {K::Item, ID_MOVIE_END, "结尾(&E)\tEnd"},
    {K::Separator, 0, nullptr},
    {K::Item, ID_VIEW_FULLSCREEN, "全屏幕(&U)"},
    {K::Item, ID_MOVIE_REPEAT, "重复(&T)\tCtrl+R"},
    {K::Item, ID_VIEW_ALWAYSONTOP, "总在最前页(&A)\tCtrl+A"},
    {K::Separator, 0, nullptr},
    {K::Popup, 0, "音量(&V)"},
    {K::Item, ID_VOLUME_UP, "增大(&U)\tCtrl+Up"},
    {K::Item, ID_VOLUME_DOWN, "减少(&D)\tCtrl+Down"},
    {K::Item, ID_VOLUME_MUTE, "静音(&M)\tCtrl+M"},
    {K::End, 0, nullptr},
    {K::End, 0, nullptr},
    {K::Popup, 0, "帮助(&H)"},
    {K::Item, ID_APP_ABOUT, "关于 Quorvix 播放器(&A)..."},
    {K::End, 0, nullptr},
};

constexpr AccelResItem kMainAccel[] = {
    {"Ctrl+A", ID_VIEW_ALWAYSONTOP}, {"Ctrl+M", ID_VOLUME_MUTE},     {"Ctrl+O", ID_FILE_OPEN},
    {"Ctrl+P", ID_MOVIE_PLAYPAUSE},  {"Ctrl+R", ID_MOVIE_REPEAT},    {"Ctrl+S", ID_MOVIE_STOP},
    {"Ctrl+Down", ID_VOLUME_DOWN},   {"Ctrl+Up", ID_VOLUME_UP},      {"End", ID_MOVIE_END},
    {"Esc", ID_VIEW_FULLSCREEN_EXIT}, {"Home", ID_MOVIE_BEGIN},      {"Left", ID_MOVIE_PREVFRAME},
    {"Right", ID_MOVIE_NEXTFRAME},   {"PgDown", ID_MOVIE_FORWARD},   {"PgUp", ID_MOVIE_REWIND},
    {"Space", ID_MOVIE_PLAYPAUSE},   {"Alt+Return", ID_VIEW_FULLSCREEN},
};

constexpr unsigned kToolbar[] = {
    ID_MOVIE_PLAY, ID_MOVIE_PAUSE, ID_MOVIE_STOP, 0, ID_MOVIE_BEGIN, ID_MOVIE_REWIND, ID_MOVIE_FORWARD,
    ID_MOVIE_END,  0,              ID_TOOLBAR_SLIDER, 0, ID_VOLUME_SHOW, 0, ID_APP_EXIT,
};

}  // namespace

std::span<const MenuResItem> LoadMenuResource(unsigned id) {
  if (id == IDR_MAINFRAME) return kMainMenu;
  return {};
}

std::span<const AccelResItem> LoadAccelResource(unsigned id) {
  if (id == IDR_MAINFRAME) return kMainAccel;
  return {};
}

std::span<const unsigned> LoadToolbarResource(unsigned id) {
  if (id == IDR_PLAYER_TOOLBAR) return kToolbar;
  return {};
}
