#include "platform/PlaySound.h"

BOOL sndPlaySoundA(const char*, UINT) { return TRUE; }
BOOL PlaySoundA(const char*, void*, DWORD) { return TRUE; }
