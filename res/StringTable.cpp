#include "res/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
  unsigned id;
  const char* text;
};

// Each subsystem keeps its entries in a fragment of its own; ids are unique
// across all of them (checked by the tests).
constexpr Entry kEntries[] = {
#include "res/strings_app.inc"
#include "res/strings_media.inc"
#include "res/strings_engine.inc"
#include "res/strings_audio.inc"
#include "res/strings_ui.inc"
#include "res/strings_volume.inc"
};

const Entry* Find(unsigned id) {
  for (const Entry& e : kEntries)
    if (e.id == id) return &e;
  return nullptr;
}

}  // namespace

const char* LoadResString(unsigned id) {
  const Entry* e = Find(id);
  return e ? e->text : "";
}

std::string ResString(unsigned id) { return LoadResString(id); }

bool HasResString(unsigned id) { return Find(id) != nullptr; }

// For the uniqueness test.
std::size_t ResStringCount() { return std::size(kEntries); }
unsigned ResStringIdAt(std::size_t i) { return i < std::size(kEntries) ? kEntries[i].id : 0; }
