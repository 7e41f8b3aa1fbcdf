// The AVI file service: opens AVI 1.0 files (the idx1 index of the first RIFF
// part, or a walk of its movi list when there is no usable idx1), hands out
// their streams, converts between samples and milliseconds, reads samples and
// formats, and decompresses video frames into packed bitmaps.
//
// Every open has its own descriptor and index, so two opens of one file may be
// used at the same time from two threads; a single file or stream handle is
// used by one thread at a time. Reads and key-frame searches past the first
// RIFF part's index fail with a negative result, which is the caller's cue to
// use its own large-file index.
//
// Decompression: uncompressed DIBs directly, other compressions through
// libavcodec. The screen codec ("wyxc") is never decompressed here: its
// frame-open returns null and the movie file object decodes it itself.
#pragma once

#include <cstddef>

#include "platform/BitmapRecords.h"
#include "platform/SoundFormat.h"
#include "platform/WinTypes.h"

// Opaque handles.
struct AviFileObject;
struct AviStreamObject;
struct AviFrameObject;
using PAVIFILE = AviFileObject*;
using PAVISTREAM = AviStreamObject*;
using PGETFRAME = AviFrameObject*;

// Open modes (only reading is supported).
constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_READWRITE = 0x0002;
constexpr UINT OF_SHARE_DENY_WRITE = 0x0020;
constexpr UINT OF_CREATE = 0x1000;

constexpr FOURCC streamtypeVIDEO = MakeFourCC('v', 'i', 'd', 's');
constexpr FOURCC streamtypeAUDIO = MakeFourCC('a', 'u', 'd', 's');
constexpr FOURCC streamtypeMIDI = MakeFourCC('m', 'i', 'd', 's');
constexpr FOURCC streamtypeTEXT = MakeFourCC('t', 'x', 't', 's');

// AVIStreamFindSample flags: a direction and what to look for.
constexpr LONG FIND_NEXT = 0x0001;
constexpr LONG FIND_PREV = 0x0004;
constexpr LONG FIND_FROM_START = 0x0008;
constexpr LONG FIND_KEY = 0x0010;
constexpr LONG FIND_ANY = 0x0020;  // any sample that holds data
constexpr LONG FIND_FORMAT = 0x0040;

// Sample count for AVIStreamRead: the rest of the chunk holding the start sample.
constexpr LONG AVISTREAMREAD_CONVENIENT = -1;

// AVIFILEINFOA::dwCaps
constexpr DWORD AVIFILECAPS_CANREAD = 0x0001;
constexpr DWORD AVIFILECAPS_CANWRITE = 0x0002;
constexpr DWORD AVIFILECAPS_ALLKEYFRAMES = 0x0010;
constexpr DWORD AVIFILECAPS_NOCOMPRESSION = 0x0020;

// Results. Values are those the platform reports, so they can be shown to the user.
constexpr HRESULT AviErr(unsigned code) { return static_cast<HRESULT>(0x80044000u + code); }
constexpr HRESULT AVIERR_OK = 0;
constexpr HRESULT AVIERR_UNSUPPORTED = AviErr(101);     // 0x80044065
constexpr HRESULT AVIERR_BADFORMAT = AviErr(102);       // 0x80044066
constexpr HRESULT AVIERR_MEMORY = AviErr(103);          // 0x80044067
constexpr HRESULT AVIERR_INTERNAL = AviErr(104);        // 0x80044068
constexpr HRESULT AVIERR_BADFLAGS = AviErr(105);        // 0x80044069
constexpr HRESULT AVIERR_BADPARAM = AviErr(106);        // 0x8004406A
constexpr HRESULT AVIERR_BADSIZE = AviErr(107);         // 0x8004406B
constexpr HRESULT AVIERR_BADHANDLE = AviErr(108);       // 0x8004406C
constexpr HRESULT AVIERR_FILEREAD = AviErr(109);        // 0x8004406D
constexpr HRESULT AVIERR_FILEWRITE = AviErr(110);       // 0x8004406E
constexpr HRESULT AVIERR_FILEOPEN = AviErr(111);        // 0x8004406F
constexpr HRESULT AVIERR_COMPRESSOR = AviErr(112);      // 0x80044070
constexpr HRESULT AVIERR_NOCOMPRESSOR = AviErr(113);    // 0x80044071
constexpr HRESULT AVIERR_READONLY = AviErr(114);        // 0x80044072
constexpr HRESULT AVIERR_NODATA = AviErr(115);          // 0x80044073
constexpr HRESULT AVIERR_BUFFERTOOSMALL = AviErr(116);  // 0x80044074
constexpr HRESULT AVIERR_CANTCOMPRESS = AviErr(117);    // 0x80044075
constexpr HRESULT AVIERR_USERABORT = AviErr(198);       // 0x800440C6
constexpr HRESULT AVIERR_ERROR = AviErr(199);           // 0x800440C7
// Opening while the service is not initialised (no AVIFileInit in force).
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);

#pragma pack(push, 1)
struct AVIFILEINFOA {  // 108 bytes
  DWORD dwMaxBytesPerSec;
  DWORD dwFlags;  // the main header's AVIF_* flags
  DWORD dwCaps;   // AVIFILECAPS_*
  DWORD dwStreams;
  DWORD dwSuggestedBufferSize;
  DWORD dwWidth;
  DWORD dwHeight;
  DWORD dwScale;  // dwRate / dwScale = frames per second of the main header
  DWORD dwRate;
  DWORD dwLength;  // frames of the main header
  DWORD dwEditCount;
  char szFileType[64];
};

struct AVISTREAMINFOA {  // 140 bytes
  DWORD fccType;
  DWORD fccHandler;
  DWORD dwFlags;
  DWORD dwCaps;
  WORD wPriority;
  WORD wLanguage;
  DWORD dwScale;  // dwRate / dwScale = samples per second
  DWORD dwRate;
  DWORD dwStart;
  DWORD dwLength;
  DWORD dwInitialFrames;
  DWORD dwSuggestedBufferSize;
  DWORD dwQuality;
  DWORD dwSampleSize;  // 0: one sample per chunk
  RECT rcFrame;
  DWORD dwEditCount;
  DWORD dwFormatChangeCount;  // palette changes found in the index
  char szName[64];
};
#pragma pack(pop)

static_assert(sizeof(AVIFILEINFOA) == 108);
static_assert(sizeof(AVISTREAMINFOA) == 140);

// Start-up and shut-down are counted (thread-safe); each AVIFileInit needs one
// AVIFileExit. AVIFileOpenA fails with REGDB_E_CLASSNOTREG while the count is 0.
void AVIFileInit();
void AVIFileExit();

// mode: OF_SHARE_DENY_WRITE (reading); write or create modes give AVIERR_READONLY.
// handler: ignored. Results: 0 and *file set; AVIERR_FILEOPEN (missing or
// unreadable), AVIERR_BADFORMAT (not RIFF AVI or a damaged header),
// AVIERR_FILEREAD (the file ends inside its headers), AVIERR_MEMORY.
HRESULT AVIFileOpenA(PAVIFILE* file, const char* name, UINT mode, void* handler);
HRESULT AVIFileInfoA(PAVIFILE file, AVIFILEINFOA* info, LONG size);
// The index-th stream (from 0) of type fccType (0: of any type), in file order.
HRESULT AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, DWORD fccType, LONG index);
// Releases a handle; a stream keeps its file's data alive, so the order of
// releases does not matter. Returns the remaining reference count.
DWORD AVIFileRelease(PAVIFILE file);
DWORD AVIStreamRelease(PAVISTREAM stream);

// From the stream header (dwStart, dwLength), which counts every RIFF part.
LONG AVIStreamStart(PAVISTREAM stream);
LONG AVIStreamLength(PAVISTREAM stream);
HRESULT AVIStreamInfoA(PAVISTREAM stream, AVISTREAMINFOA* info, LONG size);

// time = round(sample * 1000 * dwScale / dwRate); a sample owns the times
// [SampleToTime(s), SampleToTime(s + 1)) and TimeToSample gives that s.
// -1 for a bad handle or a stream with a zero rate or scale.
LONG AVIStreamSampleToTime(PAVISTREAM stream, LONG sample);
LONG AVIStreamTimeToSample(PAVISTREAM stream, LONG time);

// FIND_PREV|FIND_KEY: last key frame at or before pos (fails past the index);
// FIND_NEXT|FIND_KEY: first at or after. FIND_PREV/FIND_NEXT|FIND_FORMAT: the
// sample a palette change belongs to. FIND_ANY: a sample holding data.
// -1 when there is none.
LONG AVIStreamFindSample(PAVISTREAM stream, LONG pos, LONG flags);

// The stream's format as in force at sample pos (for video, the colour table
// with every palette change up to pos applied). format null: *formatSize
// becomes the size. A buffer smaller than the format is filled as far as it
// goes and gives AVIERR_BUFFERTOOSMALL; *formatSize is always the full size.
HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG pos, void* format, LONG* formatSize);

// samples may be AVISTREAMREAD_CONVENIENT. buffer null: *bytes and *samplesRead
// tell what the read would give. Fixed-size samples are read across chunks as
// far as the buffer holds whole samples; others chunk by chunk while they fit.
// bytes and samplesRead may be null.
HRESULT AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, void* buffer, LONG bufferSize, LONG* bytes,
                      LONG* samplesRead);

// wanted is ignored (the output is always the layout below). Null: no
// decompressor for the stream.
PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM stream, const BITMAPINFOHEADER* wanted);
// A packed bitmap: a BITMAPINFOHEADER with biCompression 0 and a positive
// height, its colour table (8-bit and lower) or zeros up to the stream's format
// size, then the bottom-up rows; the bits start at the header plus the stream's
// format size. The memory is the frame object's and stays in place until
// AVIStreamGetFrameClose; each call overwrites it. Null: no picture.
void* AVIStreamGetFrame(PGETFRAME frame, LONG pos);
HRESULT AVIStreamGetFrameClose(PGETFRAME frame);
