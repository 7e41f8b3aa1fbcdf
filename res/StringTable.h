// The player's one string table: every text a user sees, by its numeric id.
#pragma once

#include <cstddef>
#include <string>

// The UTF-8 text of a string-table entry, or an empty string for an unknown id.
const char* LoadResString(unsigned id);
std::string ResString(unsigned id);
bool HasResString(unsigned id);

constexpr unsigned IDS_APP_TITLE = 57344;  // caption of the main window and of every message box

// Enumeration of the table, for tests.
std::size_t ResStringCount();
unsigned ResStringIdAt(std::size_t i);
