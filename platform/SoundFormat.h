// Sound format records as stored in AVI 'strf' chunks of sound streams.
#pragma once

#include "platform/WinTypes.h"

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr WORD WAVE_FORMAT_ADPCM = 2;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr WORD WAVE_FORMAT_ALAW = 6;
constexpr WORD WAVE_FORMAT_MULAW = 7;
constexpr WORD WAVE_FORMAT_IMA_ADPCM = 0x11;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x55;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
struct WAVEFORMAT {  // 14 bytes
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
};

struct PCMWAVEFORMAT {  // 16 bytes
  WAVEFORMAT wf;
  WORD wBitsPerSample;
};

struct WAVEFORMATEX {  // 18 bytes, followed by cbSize extra bytes
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMAT) == 14);
static_assert(sizeof(PCMWAVEFORMAT) == 16);
static_assert(sizeof(WAVEFORMATEX) == 18);
