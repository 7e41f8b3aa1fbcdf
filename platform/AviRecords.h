// The RIFF AVI structures as they are stored (little-endian), shared by the
// file service, the large-file index reader and the fixture writers. Sizes
// exclude the 8-byte chunk header in front of each record.
#pragma once

#include "platform/WinTypes.h"

constexpr FOURCC kFourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr FOURCC kFourCCList = MakeFourCC('L', 'I', 'S', 'T');
constexpr FOURCC kFourCCAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr FOURCC kFourCCAvix = MakeFourCC('A', 'V', 'I', 'X');
constexpr FOURCC kFourCCHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr FOURCC kFourCCAvih = MakeFourCC('a', 'v', 'i', 'h');
constexpr FOURCC kFourCCStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr FOURCC kFourCCStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr FOURCC kFourCCStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr FOURCC kFourCCStrn = MakeFourCC('s', 't', 'r', 'n');
constexpr FOURCC kFourCCIndx = MakeFourCC('i', 'n', 'd', 'x');
constexpr FOURCC kFourCCOdml = MakeFourCC('o', 'd', 'm', 'l');
constexpr FOURCC kFourCCDmlh = MakeFourCC('d', 'm', 'l', 'h');
constexpr FOURCC kFourCCMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr FOURCC kFourCCRec = MakeFourCC('r', 'e', 'c', ' ');
constexpr FOURCC kFourCCIdx1 = MakeFourCC('i', 'd', 'x', '1');
constexpr FOURCC kFourCCJunk = MakeFourCC('J', 'U', 'N', 'K');

// Two-letter chunk kinds after the two-digit stream number ("00dc").
constexpr WORD kChunkKindCompressed = 'd' | ('c' << 8);    // "dc" video frame
constexpr WORD kChunkKindUncompressed = 'd' | ('b' << 8);  // "db" DIB frame
constexpr WORD kChunkKindWave = 'w' | ('b' << 8);          // "wb" sound
constexpr WORD kChunkKindPalette = 'p' | ('c' << 8);       // "pc" palette change

// The chunk id of stream n (0-99) with a two-letter kind.
constexpr FOURCC AviChunkId(int stream, WORD kind) {
  return static_cast<FOURCC>('0' + (stream / 10) % 10) | (static_cast<FOURCC>('0' + stream % 10) << 8) |
         (static_cast<FOURCC>(kind) << 16);
}
// The stream number of a chunk id, -1 when it does not start with two digits.
constexpr int AviChunkStream(FOURCC id) {
  const int a = static_cast<int>(id & 0xFF) - '0';
  const int b = static_cast<int>((id >> 8) & 0xFF) - '0';
  return (a >= 0 && a <= 9 && b >= 0 && b <= 9) ? a * 10 + b : -1;
}
constexpr WORD AviChunkKind(FOURCC id) { return static_cast<WORD>(id >> 16); }

// Main header flags.
constexpr DWORD AVIF_HASINDEX = 0x00000010;
constexpr DWORD AVIF_MUSTUSEINDEX = 0x00000020;
constexpr DWORD AVIF_ISINTERLEAVED = 0x00000100;
constexpr DWORD AVIF_TRUSTCKTYPE = 0x00000800;

// idx1 entry flags.
constexpr DWORD AVIIF_LIST = 0x00000001;
constexpr DWORD AVIIF_KEYFRAME = 0x00000010;
constexpr DWORD AVIIF_NO_TIME = 0x00000100;

#pragma pack(push, 1)
struct AviMainHeader {  // 'avih', 56 bytes
  DWORD dwMicroSecPerFrame;
  DWORD dwMaxBytesPerSec;
  DWORD dwPaddingGranularity;
  DWORD dwFlags;
  DWORD dwTotalFrames;  // of the first RIFF part
  DWORD dwInitialFrames;
  DWORD dwStreams;
  DWORD dwSuggestedBufferSize;
  DWORD dwWidth;
  DWORD dwHeight;
  DWORD dwReserved[4];
};

struct AviFrameRect {  // 16-bit rectangle of the stream header
  std::int16_t left;
  std::int16_t top;
  std::int16_t right;
  std::int16_t bottom;
};

struct AviStreamHeader {  // 'strh', 56 bytes (older files store 48, without rcFrame)
  FOURCC fccType;
  FOURCC fccHandler;
  DWORD dwFlags;
  WORD wPriority;
  WORD wLanguage;
  DWORD dwInitialFrames;
  DWORD dwScale;
  DWORD dwRate;
  DWORD dwStart;
  DWORD dwLength;  // samples in all RIFF parts
  DWORD dwSuggestedBufferSize;
  DWORD dwQuality;
  DWORD dwSampleSize;
  AviFrameRect rcFrame;
};

struct AviIndexEntry {  // one idx1 entry, 16 bytes
  FOURCC ckid;
  DWORD dwFlags;
  DWORD dwChunkOffset;  // from the 'movi' list type (usually) or from the file start
  DWORD dwChunkLength;
};

struct AviPaletteChangeHeader {  // start of a "##pc" chunk, followed by PALETTEENTRY[n]
  BYTE bFirstEntry;
  BYTE bNumEntries;  // 0 means 256
  WORD wFlags;
};
#pragma pack(pop)

static_assert(sizeof(AviMainHeader) == 56);
static_assert(sizeof(AviStreamHeader) == 56);
static_assert(sizeof(AviIndexEntry) == 16);
static_assert(sizeof(AviPaletteChangeHeader) == 4);
