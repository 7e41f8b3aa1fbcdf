// System sounds. The player only ever asks them to stop, so that the wave
// device is free; nothing here plays, so both calls just succeed.
#pragma once

#include "platform/WinTypes.h"

constexpr UINT SND_SYNC = 0x0000;
constexpr UINT SND_ASYNC = 0x0001;
constexpr UINT SND_PURGE = 0x0040;

BOOL sndPlaySoundA(const char* pszSound, UINT fuSound);
BOOL PlaySoundA(const char* pszSound, void* hmod, DWORD fdwSound);
