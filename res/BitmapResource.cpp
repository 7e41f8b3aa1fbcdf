#include "res/BitmapResource.h"

#include "res/CommandTable.h"

namespace {

// Generated at build time from res/player_logo.bmp.
constexpr unsigned char kPlayerLogo[] = {
#include "player_logo.inc"
};

}  // namespace

std::span<const unsigned char> LoadBitmapResource(unsigned id) {
  if (id == IDB_PLAYER_LOGO) return kPlayerLogo;
  return {};
}
