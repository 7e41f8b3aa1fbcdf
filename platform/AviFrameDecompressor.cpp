#include "platform/AviFrameDecompressor.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr LONG kMaxDimension = 32768;
constexpr std::uint64_t kMaxImageBytes = 256ull << 20;

bool IsScreenCodec(FOURCC f) {
  char c[4];
  for (int i = 0; i < 4; ++i) c[i] = static_cast<char>(std::tolower(static_cast<unsigned char>((f >> (8 * i)) & 0xFF)));
  return std::memcmp(c, "wyxc", 4) == 0;
}

// Shared part: the output block and its header.
class FrameBlock : public AviFrameObject {
 protected:
  FrameBlock(std::shared_ptr<const AviStreamData> stream, const BITMAPINFOHEADER& source)
      : m_stream(std::move(stream)), m_source(source) {
    m_width = source.biWidth;
    m_height = source.biHeight < 0 ? -source.biHeight : source.biHeight;
    m_formatSize = m_stream->format.size();
    m_tableRoom = std::min<std::size_t>((m_formatSize - sizeof(BITMAPINFOHEADER)) / 4, 256);
  }

  static bool SizeOk(const BITMAPINFOHEADER& h) {
    if (h.biWidth <= 0 || h.biWidth > kMaxDimension || h.biHeight == 0 || h.biHeight < -kMaxDimension ||
        h.biHeight > kMaxDimension)
      return false;
    const std::int64_t height = h.biHeight < 0 ? -static_cast<std::int64_t>(h.biHeight) : h.biHeight;
    return static_cast<std::uint64_t>(DibRowBytes(h.biWidth, 32) * height) <= kMaxImageBytes;
  }

  // One block for the life of the frame object, room for any output depth.
  void Allocate() {
    m_capacity = static_cast<std::size_t>(DibRowBytes(m_width, 32) * m_height);
    m_block.reset(new BYTE[m_formatSize + m_capacity]);
    std::memset(m_block.get(), 0, m_formatSize);
  }

  BYTE* Bits() { return m_block.get() + m_formatSize; }
  std::size_t RowBytes(WORD bitCount) const { return static_cast<std::size_t>(DibRowBytes(m_width, bitCount)); }

  void WriteHeader(WORD bitCount, const RGBQUAD* table, std::size_t entries) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = m_width;
    h.biHeight = m_height;
    h.biPlanes = 1;
    h.biBitCount = bitCount;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>(RowBytes(bitCount) * m_height);
    h.biXPelsPerMeter = m_source.biXPelsPerMeter;
    h.biYPelsPerMeter = m_source.biYPelsPerMeter;
    entries = std::min(entries, m_tableRoom);
    h.biClrUsed = bitCount <= 8 ? static_cast<DWORD>(entries) : 0;
    std::memset(m_block.get(), 0, m_formatSize);
    std::memcpy(m_block.get(), &h, sizeof h);
    if (bitCount <= 8 && table && entries) std::memcpy(m_block.get() + sizeof h, table, entries * sizeof(RGBQUAD));
  }

  // The colour table in force at pos, at most 256 entries.
  std::vector<RGBQUAD> TableAt(LONG pos) const {
    std::vector<BYTE> format;
    std::vector<RGBQUAD> table;
    if (!m_stream->FormatAt(pos, format)) return table;
    table.resize(std::min<std::size_t>((format.size() - sizeof(BITMAPINFOHEADER)) / 4, 256));
    if (!table.empty()) std::memcpy(table.data(), format.data() + sizeof(BITMAPINFOHEADER), table.size() * 4);
    return table;
  }

  std::shared_ptr<const AviStreamData> m_stream;
  BITMAPINFOHEADER m_source;
  LONG m_width = 0;
  LONG m_height = 0;
  std::size_t m_formatSize = 0;
  std::size_t m_tableRoom = 0;
  std::size_t m_capacity = 0;
  std::unique_ptr<BYTE[]> m_block;
};

// Uncompressed DIBs: copied bottom-up; bit fields expanded to 24 or 32 bits;
// palettised images keep their depth when the format has room for a table.
class DibFrame : public FrameBlock {
 public:
  DibFrame(std::shared_ptr<const AviStreamData> stream, const BITMAPINFOHEADER& source)
      : FrameBlock(std::move(stream), source) {}

  static bool Supports(const BITMAPINFOHEADER& h, std::size_t formatSize) {
    if (h.biCompression == BI_RGB)
      return h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8 || h.biBitCount == 16 ||
             h.biBitCount == 24 || h.biBitCount == 32;
    return h.biCompression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32) &&
           formatSize >= sizeof(BITMAPINFOHEADER) + 12;
  }

  bool Init() {
    if (!SizeOk(m_source)) return false;
    Allocate();
    if (m_source.biCompression == BI_BITFIELDS) {
      std::memcpy(m_masks, m_stream->format.data() + sizeof(BITMAPINFOHEADER), sizeof m_masks);
      m_outBits = m_source.biBitCount == 32 ? 32 : 24;
    } else if (m_source.biBitCount <= 8 && m_tableRoom == 0) {
      m_outBits = 24;  // nowhere to put a colour table: expand
    } else {
      m_outBits = m_source.biBitCount;
    }
    return true;
  }

  void* GetFrame(LONG pos) override {
    const std::int64_t rel = static_cast<std::int64_t>(pos) - m_stream->start;
    std::int64_t chunk = m_stream->ChunkOfSample(rel);
    // A 0-byte sample repeats the picture before it.
    while (chunk >= 0 && m_stream->chunks[chunk].size == 0) --chunk;
    if (chunk < 0) return nullptr;
    // The same picture may stand under another colour table after a palette change.
    if (chunk == m_shown && m_stream->paletteChanges.empty()) return m_block.get();
    if (!m_stream->ReadChunk(static_cast<std::size_t>(chunk), m_data)) return nullptr;
    const std::size_t padded = RowBytes(m_source.biBitCount);
    const std::size_t tight = (static_cast<std::size_t>(m_width) * m_source.biBitCount + 7) / 8;
    std::size_t srcRow;
    if (m_data.size() >= padded * m_height)
      srcRow = padded;
    else if (m_data.size() >= tight * m_height)
      srcRow = tight;  // some writers leave rows unpadded
    else
      return nullptr;
    const bool topDown = m_source.biHeight < 0;
    const std::vector<RGBQUAD> table = m_source.biBitCount <= 8 ? TableAt(pos) : std::vector<RGBQUAD>{};
    WriteHeader(m_outBits, table.data(), table.size());
    const std::size_t dstRow = RowBytes(m_outBits);
    for (LONG y = 0; y < m_height; ++y) {
      const BYTE* src = m_data.data() + srcRow * static_cast<std::size_t>(topDown ? m_height - 1 - y : y);
      BYTE* dst = Bits() + dstRow * static_cast<std::size_t>(y);
      std::memset(dst, 0, dstRow);
      if (m_outBits == m_source.biBitCount && m_source.biCompression == BI_RGB)
        std::memcpy(dst, src, std::min(srcRow, dstRow));
      else if (m_source.biCompression == BI_BITFIELDS)
        ExpandFields(src, dst);
      else
        ExpandIndexed(src, dst, table);
    }
    m_shown = chunk;
    return m_block.get();
  }

 private:
  static int Shift(DWORD mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
      mask >>= 1;
      ++s;
    }
    return s;
  }
  static BYTE Channel(DWORD v, DWORD mask) {
    if (!mask) return 0;
    const DWORD m = mask >> Shift(mask);
    const DWORD c = (v & mask) >> Shift(mask);
    return static_cast<BYTE>((c * 255 + m / 2) / m);
  }

  void ExpandFields(const BYTE* src, BYTE* dst) const {
    const int step = m_outBits / 8;
    for (LONG x = 0; x < m_width; ++x) {
      DWORD v = 0;
      if (m_source.biBitCount == 16)
        v = static_cast<DWORD>(src[2 * x]) | (static_cast<DWORD>(src[2 * x + 1]) << 8);
      else
        std::memcpy(&v, src + 4 * x, 4);
      dst[x * step + 0] = Channel(v, m_masks[2]);
      dst[x * step + 1] = Channel(v, m_masks[1]);
      dst[x * step + 2] = Channel(v, m_masks[0]);
    }
  }

  void ExpandIndexed(const BYTE* src, BYTE* dst, const std::vector<RGBQUAD>& table) const {
    const int bits = m_source.biBitCount;
    for (LONG x = 0; x < m_width; ++x) {
      const std::size_t bit = static_cast<std::size_t>(x) * bits;
      const unsigned index = (src[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
      BYTE r = static_cast<BYTE>(index * 255 / ((1u << bits) - 1)), g = r, b = r;  // grey without a table
      if (index < table.size()) {
        r = table[index].rgbRed;
        g = table[index].rgbGreen;
        b = table[index].rgbBlue;
      }
      dst[3 * x] = b;
      dst[3 * x + 1] = g;
      dst[3 * x + 2] = r;
    }
  }

  DWORD m_masks[3] = {};  // red, green, blue
  WORD m_outBits = 24;
  std::int64_t m_shown = -1;
  std::vector<BYTE> m_data;
};

void QuietCodecLog() {
  static std::once_flag once;
  // Damaged frames are expected input here; the player keeps no log.
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// Every other compression: libavcodec, fed from the key frame before a jump.
class CodecFrame : public FrameBlock {
 public:
  CodecFrame(std::shared_ptr<const AviStreamData> stream, const BITMAPINFOHEADER& source)
      : FrameBlock(std::move(stream), source) {}

  ~CodecFrame() override {
    sws_freeContext(m_sws);
    av_frame_free(&m_frame);
    av_frame_free(&m_picture);
    av_packet_free(&m_packet);
    avcodec_free_context(&m_codec);
  }

  bool Init(FOURCC handler) {
    if (!SizeOk(m_source)) return false;
    const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tags, m_source.biCompression);
    if (id == AV_CODEC_ID_NONE) id = av_codec_get_id(tags, handler);
    if (id == AV_CODEC_ID_NONE) return false;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) return false;
    QuietCodecLog();
    m_codec = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_picture = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_codec || !m_frame || !m_picture || !m_packet) return false;
    m_codec->width = m_width;
    m_codec->height = m_height;
    m_codec->codec_tag = m_source.biCompression;
    m_codec->bits_per_coded_sample = m_source.biBitCount;
    m_codec->thread_count = 1;
    const std::size_t extra = m_formatSize - sizeof(BITMAPINFOHEADER);
    if (extra > 0) {
      m_codec->extradata = static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
      if (!m_codec->extradata) return false;
      std::memcpy(m_codec->extradata, m_stream->format.data() + sizeof(BITMAPINFOHEADER), extra);
      m_codec->extradata_size = static_cast<int>(extra);
    }
    if (avcodec_open2(m_codec, codec, nullptr) < 0) return false;
    Allocate();
    m_palettised = m_source.biBitCount <= 8 && m_tableRoom > 0;
    m_rgbBits = m_source.biBitCount == 32 ? 32 : 24;
    return true;
  }

  void* GetFrame(LONG pos) override {
    const std::int64_t rel = static_cast<std::int64_t>(pos) - m_stream->start;
    if (m_stream->ChunkOfSample(rel) < 0) return nullptr;
    if (rel == m_last) return m_shown ? m_block.get() : nullptr;
    std::int64_t from = rel;
    if (m_last < 0 || rel != m_last + 1) {
      const LONG key = m_stream->FindSample(pos, FIND_PREV | FIND_KEY);
      std::int64_t k = key < 0 ? 0 : static_cast<std::int64_t>(key) - m_stream->start;
      if (m_last >= 0 && m_last < rel && k <= m_last) {
        from = m_last + 1;  // going on from where the decoder stands is enough
      } else {
        avcodec_flush_buffers(m_codec);
        av_frame_unref(m_picture);
        from = k;
      }
    }
    bool targetDecoded = false;
    for (std::int64_t s = from; s <= rel; ++s) {
      const std::int64_t chunk = m_stream->ChunkOfSample(s);
      if (chunk < 0) continue;
      targetDecoded = Decode(static_cast<std::size_t>(chunk), static_cast<LONG>(s + m_stream->start));
    }
    m_last = rel;
    const bool emptyTarget = m_stream->chunks[m_stream->ChunkOfSample(rel)].size == 0;
    if (!targetDecoded && !emptyTarget) {
      // A decoder that holds frames back: drain it, then start over next time.
      avcodec_send_packet(m_codec, nullptr);
      Receive();
      avcodec_flush_buffers(m_codec);
      m_last = -1;
    }
    if (!m_picture->data[0]) return nullptr;
    m_shown = Convert();
    return m_shown ? m_block.get() : nullptr;
  }

 private:
  // Sends one sample; true when it gave a picture.
  bool Decode(std::size_t chunk, LONG pos) {
    if (m_stream->chunks[chunk].size == 0) return false;  // "no change"
    if (!m_stream->ReadChunk(chunk, m_data)) return false;
    const std::size_t size = m_data.size();
    m_data.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    av_packet_unref(m_packet);
    m_packet->data = m_data.data();
    m_packet->size = static_cast<int>(size);
    m_packet->flags = m_stream->chunks[chunk].key ? AV_PKT_FLAG_KEY : 0;
    if (m_source.biBitCount <= 8) {
      const std::vector<RGBQUAD> table = TableAt(pos);
      if (!table.empty()) {
        uint8_t* side = av_packet_new_side_data(m_packet, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
        if (side) {
          std::memset(side, 0, AVPALETTE_SIZE);
          for (std::size_t i = 0; i < table.size(); ++i) {
            const uint32_t argb = 0xFF000000u | (static_cast<uint32_t>(table[i].rgbRed) << 16) |
                                  (static_cast<uint32_t>(table[i].rgbGreen) << 8) | table[i].rgbBlue;
            std::memcpy(side + 4 * i, &argb, 4);
          }
        }
      }
    }
    const int sent = avcodec_send_packet(m_codec, m_packet);
    av_packet_unref(m_packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) return false;
    return Receive();
  }

  bool Receive() {
    bool got = false;
    while (avcodec_receive_frame(m_codec, m_frame) == 0) {
      av_frame_unref(m_picture);
      av_frame_move_ref(m_picture, m_frame);
      got = true;
    }
    return got;
  }

  // An 8-bit picture can keep its depth only if the stream's format has room
  // for every colour it uses.
  bool IndicesFitTable(const AVFrame* f) const {
    if (m_tableRoom >= 256) return true;
    for (int y = 0; y < f->height; ++y)
      for (int x = 0; x < f->width; ++x)
        if (f->data[0][static_cast<std::ptrdiff_t>(y) * f->linesize[0] + x] >= m_tableRoom) return false;
    return true;
  }

  bool Convert() {
    const AVFrame* f = m_picture;
    if (f->width <= 0 || f->height <= 0) return false;
    if (m_palettised && f->format == AV_PIX_FMT_PAL8 && f->data[1] && IndicesFitTable(f)) {
      RGBQUAD table[256];
      for (int i = 0; i < 256; ++i) {
        uint32_t argb;
        std::memcpy(&argb, f->data[1] + 4 * i, 4);
        table[i] = {static_cast<BYTE>(argb), static_cast<BYTE>(argb >> 8), static_cast<BYTE>(argb >> 16), 0};
      }
      WriteHeader(8, table, 256);
      const std::size_t row = RowBytes(8);
      for (LONG y = 0; y < m_height; ++y) {
        BYTE* dst = Bits() + row * static_cast<std::size_t>(m_height - 1 - y);
        std::memset(dst, 0, row);
        if (y < f->height)
          std::memcpy(dst, f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0],
                      static_cast<std::size_t>(std::min<int>(m_width, f->width)));
      }
      return true;
    }
    const AVPixelFormat out = m_rgbBits == 32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
    m_sws = sws_getCachedContext(m_sws, f->width, f->height, static_cast<AVPixelFormat>(f->format), m_width,
                                 m_height, out, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                 nullptr, nullptr);
    if (!m_sws) return false;
    const int row = static_cast<int>(RowBytes(m_rgbBits));
    // Bottom-up rows: start at the last row and step backwards.
    uint8_t* dst[4] = {Bits() + static_cast<std::size_t>(row) * (m_height - 1), nullptr, nullptr, nullptr};
    const int stride[4] = {-row, 0, 0, 0};
    WriteHeader(m_rgbBits, nullptr, 0);
    if (sws_scale(m_sws, f->data, f->linesize, 0, f->height, dst, stride) <= 0) return false;
    return true;
  }

  AVCodecContext* m_codec = nullptr;
  AVFrame* m_frame = nullptr;
  AVFrame* m_picture = nullptr;  // the latest picture out of the decoder
  AVPacket* m_packet = nullptr;
  SwsContext* m_sws = nullptr;
  std::vector<BYTE> m_data;
  std::int64_t m_last = -1;  // index sample the decoder stands at
  bool m_shown = false;
  bool m_palettised = false;
  WORD m_rgbBits = 24;
};

}  // namespace

std::unique_ptr<AviFrameObject> AviFrameDecompressor::Create(std::shared_ptr<const AviStreamData> stream) {
  if (!stream || !stream->IsVideo() || stream->format.size() < sizeof(BITMAPINFOHEADER)) return nullptr;
  BITMAPINFOHEADER h;
  std::memcpy(&h, stream->format.data(), sizeof h);
  // The screen codec is decoded by the movie file object, never here.
  if (IsScreenCodec(h.biCompression) || IsScreenCodec(stream->header.fccHandler)) return nullptr;
  if (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS) {
    if (!DibFrame::Supports(h, stream->format.size())) return nullptr;
    auto frame = std::make_unique<DibFrame>(stream, h);
    if (!frame->Init()) return nullptr;
    return frame;
  }
  auto frame = std::make_unique<CodecFrame>(stream, h);
  if (!frame->Init(stream->header.fccHandler)) return nullptr;
  return frame;
}
