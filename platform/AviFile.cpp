#include "platform/AviFile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/AviFileParser.h"
#include "platform/AviFrameDecompressor.h"
#include "platform/AviSourceFile.h"
#include "platform/AviStreamData.h"

struct AviFileObject {
  std::atomic<DWORD> refs{1};
  std::shared_ptr<AviSourceFile> file;
  AviFileContent content;
};

struct AviStreamObject {
  std::atomic<DWORD> refs{1};
  // Keeps the descriptor and the index alive on its own, whatever is released first.
  std::shared_ptr<const AviStreamData> data;
};

namespace {

std::mutex g_initLock;
int g_initCount = 0;

bool ServiceInitialised() {
  std::lock_guard<std::mutex> lock(g_initLock);
  return g_initCount > 0;
}

}  // namespace

void AVIFileInit() {
  std::lock_guard<std::mutex> lock(g_initLock);
  ++g_initCount;
}

void AVIFileExit() {
  std::lock_guard<std::mutex> lock(g_initLock);
  if (g_initCount > 0) --g_initCount;
}

HRESULT AVIFileOpenA(PAVIFILE* file, const char* name, UINT mode, void* /*handler*/) {
  if (!file) return AVIERR_BADPARAM;
  *file = nullptr;
  if (!ServiceInitialised()) return REGDB_E_CLASSNOTREG;
  if (mode & (OF_WRITE | OF_READWRITE | OF_CREATE)) return AVIERR_READONLY;
  if (!name) return AVIERR_FILEOPEN;
  try {
    auto source = std::make_shared<AviSourceFile>();
    if (!source->Open(name)) return AVIERR_FILEOPEN;
    auto object = std::make_unique<AviFileObject>();
    object->file = source;
    AviFileParser parser(source);
    const HRESULT hr = parser.Parse(object->content);
    if (hr != AVIERR_OK) return hr;
    *file = object.release();
    return AVIERR_OK;
  } catch (const std::bad_alloc&) {
    return AVIERR_MEMORY;
  }
}

HRESULT AVIFileInfoA(PAVIFILE file, AVIFILEINFOA* info, LONG size) {
  if (!file) return AVIERR_BADHANDLE;
  if (!info || size < 0) return AVIERR_BADPARAM;
  const AviMainHeader& m = file->content.mainHeader;
  AVIFILEINFOA fi{};
  fi.dwMaxBytesPerSec = m.dwMaxBytesPerSec;
  fi.dwFlags = m.dwFlags;
  fi.dwCaps = AVIFILECAPS_CANREAD;
  bool allKeys = true;
  for (const auto& s : file->content.streams)
    if (!s->AllKeyFrames()) allKeys = false;
  if (allKeys) fi.dwCaps |= AVIFILECAPS_ALLKEYFRAMES;
  fi.dwStreams = static_cast<DWORD>(file->content.streams.size());
  fi.dwSuggestedBufferSize = m.dwSuggestedBufferSize;
  fi.dwWidth = m.dwWidth;
  fi.dwHeight = m.dwHeight;
  fi.dwScale = m.dwMicroSecPerFrame;
  fi.dwRate = 1000000;
  fi.dwLength = m.dwTotalFrames;
  std::strncpy(fi.szFileType, "AVI file", sizeof fi.szFileType - 1);
  std::memcpy(info, &fi, std::min<std::size_t>(static_cast<std::size_t>(size), sizeof fi));
  return AVIERR_OK;
}

HRESULT AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, DWORD fccType, LONG index) {
  if (!stream) return AVIERR_BADPARAM;
  *stream = nullptr;
  if (!file) return AVIERR_BADHANDLE;
  if (index < 0) return AVIERR_NODATA;
  LONG seen = 0;
  for (const auto& s : file->content.streams) {
    if (fccType != 0 && s->header.fccType != fccType) continue;
    if (seen++ != index) continue;
    try {
      auto* object = new AviStreamObject;
      object->data = s;
      *stream = object;
      return AVIERR_OK;
    } catch (const std::bad_alloc&) {
      return AVIERR_MEMORY;
    }
  }
  return AVIERR_NODATA;
}

DWORD AVIFileRelease(PAVIFILE file) {
  if (!file) return 0;
  const DWORD left = --file->refs;
  if (left == 0) delete file;
  return left;
}

DWORD AVIStreamRelease(PAVISTREAM stream) {
  if (!stream) return 0;
  const DWORD left = --stream->refs;
  if (left == 0) delete stream;
  return left;
}

LONG AVIStreamStart(PAVISTREAM stream) { return stream ? stream->data->start : -1; }

LONG AVIStreamLength(PAVISTREAM stream) { return stream ? stream->data->length : -1; }

HRESULT AVIStreamInfoA(PAVISTREAM stream, AVISTREAMINFOA* info, LONG size) {
  if (!stream) return AVIERR_BADHANDLE;
  if (!info || size < 0) return AVIERR_BADPARAM;
  const AviStreamData& s = *stream->data;
  AVISTREAMINFOA si{};
  si.fccType = s.header.fccType;
  si.fccHandler = s.header.fccHandler;
  si.dwFlags = s.header.dwFlags;
  si.wPriority = s.header.wPriority;
  si.wLanguage = s.header.wLanguage;
  si.dwScale = s.header.dwScale;
  si.dwRate = s.header.dwRate;
  si.dwStart = static_cast<DWORD>(s.start);
  si.dwLength = static_cast<DWORD>(s.length);
  si.dwInitialFrames = s.header.dwInitialFrames;
  si.dwSuggestedBufferSize = s.header.dwSuggestedBufferSize;
  si.dwQuality = s.header.dwQuality;
  si.dwSampleSize = s.header.dwSampleSize;
  si.rcFrame.left = s.header.rcFrame.left;
  si.rcFrame.top = s.header.rcFrame.top;
  si.rcFrame.right = s.header.rcFrame.right;
  si.rcFrame.bottom = s.header.rcFrame.bottom;
  si.dwFormatChangeCount = static_cast<DWORD>(s.paletteChanges.size());
  std::strncpy(si.szName, s.name.c_str(), sizeof si.szName - 1);
  std::memcpy(info, &si, std::min<std::size_t>(static_cast<std::size_t>(size), sizeof si));
  return AVIERR_OK;
}

LONG AVIStreamSampleToTime(PAVISTREAM stream, LONG sample) {
  return stream ? stream->data->SampleToTime(sample) : -1;
}

LONG AVIStreamTimeToSample(PAVISTREAM stream, LONG time) { return stream ? stream->data->TimeToSample(time) : -1; }

LONG AVIStreamFindSample(PAVISTREAM stream, LONG pos, LONG flags) {
  return stream ? stream->data->FindSample(pos, flags) : -1;
}

HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG pos, void* format, LONG* formatSize) {
  if (!stream) return AVIERR_BADHANDLE;
  if (!formatSize) return AVIERR_BADPARAM;
  const AviStreamData& s = *stream->data;
  if (!format) {
    *formatSize = static_cast<LONG>(s.format.size());
    return AVIERR_OK;
  }
  try {
    std::vector<BYTE> current;
    if (!s.FormatAt(pos, current)) return AVIERR_FILEREAD;
    const std::size_t room = *formatSize > 0 ? static_cast<std::size_t>(*formatSize) : 0;
    std::memcpy(format, current.data(), std::min(room, current.size()));
    *formatSize = static_cast<LONG>(current.size());
    return room < current.size() ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
  } catch (const std::bad_alloc&) {
    return AVIERR_MEMORY;
  }
}

HRESULT AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, void* buffer, LONG bufferSize, LONG* bytes,
                      LONG* samplesRead) {
  if (!stream) {
    if (bytes) *bytes = 0;
    if (samplesRead) *samplesRead = 0;
    return AVIERR_BADHANDLE;
  }
  return stream->data->Read(start, samples, buffer, bufferSize, bytes, samplesRead);
}

PGETFRAME AVIStreamGetFrameOpen(PAVISTREAM stream, const BITMAPINFOHEADER* /*wanted*/) {
  if (!stream) return nullptr;
  try {
    return AviFrameDecompressor::Create(stream->data).release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* AVIStreamGetFrame(PGETFRAME frame, LONG pos) {
  if (!frame) return nullptr;
  try {
    return frame->GetFrame(pos);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HRESULT AVIStreamGetFrameClose(PGETFRAME frame) {
  if (!frame) return AVIERR_BADHANDLE;
  delete frame;
  return AVIERR_OK;
}
