// The player's commands, menu and accelerator resources. One table holds the
// menu entries and keys; the frame turns it into one action per command id.
// Kept free of any toolkit so that every layer can name the ids.
#pragma once

#include <cstddef>
#include <span>

// Resource ids.
constexpr unsigned IDR_MAINFRAME = 100;       // main menu, accelerators, frame icon
constexpr unsigned IDR_PLAYER_TOOLBAR = 101;  // transport toolbar and its bitmap
constexpr unsigned IDB_PLAYER_LOGO = 102;     // logo shown while no picture is shown
constexpr unsigned IDB_VOLUME_LEVELS = 103;   // speaker images of the volume button

// Command ids.
constexpr unsigned ID_MOVIE_STOP = 32768;
constexpr unsigned ID_MOVIE_BEGIN = 32769;
constexpr unsigned ID_MOVIE_REWIND = 32770;
constexpr unsigned ID_MOVIE_FORWARD = 32771;
constexpr unsigned ID_MOVIE_END = 32772;
constexpr unsigned ID_MOVIE_PLAY = 32773;
constexpr unsigned ID_MOVIE_PAUSE = 32774;
constexpr unsigned ID_MOVIE_PLAYPAUSE = 32775;
constexpr unsigned ID_VOLUME_UP = 32776;
constexpr unsigned ID_VOLUME_DOWN = 32777;
constexpr unsigned ID_VOLUME_MUTE = 32778;
constexpr unsigned ID_VIEW_FULLSCREEN = 32779;
constexpr unsigned ID_VIEW_FULLSCREEN_EXIT = 32780;
constexpr unsigned ID_MOVIE_REPEAT = 32781;
constexpr unsigned ID_VIEW_ALWAYSONTOP = 32782;
constexpr unsigned ID_TOOLBAR_SLIDER = 32783;
constexpr unsigned ID_TOOLBAR_SLIDER_SEP = 32784;
constexpr unsigned ID_TOOLBAR_EXIT_SEP = 32785;
constexpr unsigned ID_MOVIE_PREVFRAME = 32786;
constexpr unsigned ID_MOVIE_NEXTFRAME = 32787;
constexpr unsigned ID_TOOLBAR_VOLUME_SEP = 32788;
constexpr unsigned ID_VOLUME_SHOW = 32789;
constexpr unsigned ID_FILE_OPEN = 57601;
constexpr unsigned ID_FILE_CLOSE = 57602;
constexpr unsigned ID_APP_ABOUT = 57664;
constexpr unsigned ID_APP_EXIT = 57665;

// Status bar panes (their strings size the panes).
constexpr unsigned ID_SEPARATOR = 0;
constexpr unsigned ID_INDICATOR_STATE = 2000;
constexpr unsigned ID_INDICATOR_TIME = 2005;

// Texts of the context menu's extra entry and of the play states.
constexpr unsigned IDS_MENU_EXIT = 57356;  // "退出(&X)"

// One line of a menu resource. A popup opens a nesting level that the next
// matching End closes; items carry their command id and text ("&" marks the
// mnemonic, the text after "\t" names the key).
struct MenuResItem {
  enum Kind { Popup, Item, Separator, End };
  Kind kind;
  unsigned id;
  const char* text;
};

// One accelerator: the key in portable notation ("Ctrl+O", "PgUp",
// "Alt+Return") and the command it sends.
struct AccelResItem {
  const char* key;
  unsigned id;
};

// The transport toolbar's items in order: command ids, 0 for a separator.
// Buttons are 20 x 20 pixels; bitmap IDR_PLAYER_TOOLBAR holds one image per
// non-separator item (the slider's place has a blank one).
constexpr int kToolbarButtonSize = 20;

// An empty span for an unknown resource id.
std::span<const MenuResItem> LoadMenuResource(unsigned id);
std::span<const AccelResItem> LoadAccelResource(unsigned id);
std::span<const unsigned> LoadToolbarResource(unsigned id);
