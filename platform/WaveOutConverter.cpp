#include "platform/WaveOutConverter.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace {

// The wave mapper's own limits: more would be a damaged header, not a format.
constexpr int kMaxChannels = 8;
constexpr DWORD kMaxRate = 768000;
constexpr std::size_t kMaxExtra = 4096;

bool PcmKind(WORD tag, WORD bits, WaveOutConverter::SampleKind& kind) {
  using K = WaveOutConverter::SampleKind;
  if (tag == WAVE_FORMAT_PCM) {
    switch (bits) {
      case 8: kind = K::U8; return true;
      case 16: kind = K::S16; return true;
      case 24: kind = K::S24; return true;
      case 32: kind = K::S32; return true;
    }
  } else if (tag == WAVE_FORMAT_IEEE_FLOAT) {
    if (bits == 32) { kind = K::F32; return true; }
    if (bits == 64) { kind = K::F64; return true; }
  }
  return false;
}

}  // namespace

struct WaveOutConverter::Decoder {
  const AVCodec* codec = nullptr;
  AVCodecContext* ctx = nullptr;
  AVCodecParserContext* parser = nullptr;
  SwrContext* swr = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  std::size_t blockAlign = 0;  // packets are whole blocks of this size (0: parsed)
  std::vector<BYTE> pending;   // a partial block

  ~Decoder() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    if (parser) av_parser_close(parser);
    swr_free(&swr);
    avcodec_free_context(&ctx);
  }
};

WaveOutConverter::WaveOutConverter() = default;
WaveOutConverter::~WaveOutConverter() = default;

bool WaveOutConverter::Init(const WAVEFORMATEX& f, std::size_t formatBytes) {
  m_decoder.reset();
  if (f.nChannels < 1 || f.nChannels > kMaxChannels || f.nSamplesPerSec == 0 || f.nSamplesPerSec > kMaxRate)
    return false;
  m_channels = f.nChannels;
  m_rate = f.nSamplesPerSec;

  WORD tag = f.wFormatTag;
  std::size_t extra = formatBytes > sizeof(WAVEFORMATEX) ? formatBytes - sizeof(WAVEFORMATEX) : 0;
  if (extra > f.cbSize) extra = f.cbSize;
  const BYTE* extraBytes = reinterpret_cast<const BYTE*>(&f) + sizeof(WAVEFORMATEX);
  if (tag == WAVE_FORMAT_EXTENSIBLE) {
    // wValidBitsPerSample, dwChannelMask, then the sub-format GUID whose first
    // two bytes are the ordinary tag.
    if (extra < 22) return false;
    WORD sub;
    std::memcpy(&sub, extraBytes + 6, sizeof(sub));
    if (sub != WAVE_FORMAT_PCM && sub != WAVE_FORMAT_IEEE_FLOAT) return false;
    tag = sub;
  }

  SampleKind kind;
  if (PcmKind(tag, f.wBitsPerSample, kind)) {
    int frameBytes = m_channels * (f.wBitsPerSample / 8);
    if (f.nBlockAlign != frameBytes) return false;
    m_kind = kind;
    m_frameBytes = frameBytes;
    return true;
  }

  AVCodecID id;
  switch (tag) {
    case WAVE_FORMAT_ADPCM: id = AV_CODEC_ID_ADPCM_MS; break;
    case WAVE_FORMAT_IMA_ADPCM: id = AV_CODEC_ID_ADPCM_IMA_WAV; break;
    case WAVE_FORMAT_MULAW: id = AV_CODEC_ID_PCM_MULAW; break;
    case WAVE_FORMAT_ALAW: id = AV_CODEC_ID_PCM_ALAW; break;
    case WAVE_FORMAT_MPEGLAYER3: id = AV_CODEC_ID_MP3; break;
    default: return false;
  }
  if (id != AV_CODEC_ID_MP3 && f.nBlockAlign == 0) return false;
  if (extra > kMaxExtra) return false;

  auto d = std::make_unique<Decoder>();
  d->codec = avcodec_find_decoder(id);
  if (!d->codec) return false;
  d->ctx = avcodec_alloc_context3(d->codec);
  if (!d->ctx) return false;
  d->ctx->sample_rate = static_cast<int>(f.nSamplesPerSec);
  av_channel_layout_default(&d->ctx->ch_layout, m_channels);
  d->ctx->block_align = f.nBlockAlign;
  d->ctx->bits_per_coded_sample = f.wBitsPerSample;
  d->ctx->bit_rate = static_cast<int64_t>(f.nAvgBytesPerSec) * 8;
  if (extra > 0) {
    d->ctx->extradata = static_cast<uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!d->ctx->extradata) return false;
    std::memcpy(d->ctx->extradata, extraBytes, extra);
    d->ctx->extradata_size = static_cast<int>(extra);
  }
  if (avcodec_open2(d->ctx, d->codec, nullptr) < 0) return false;
  if (id == AV_CODEC_ID_MP3) {
    d->parser = av_parser_init(id);
    if (!d->parser) return false;
  } else {
    d->blockAlign = f.nBlockAlign;
  }
  d->packet = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (!d->packet || !d->frame) return false;

  m_kind = SampleKind::S16;
  m_frameBytes = 2 * m_channels;
  m_decoder = std::move(d);
  return true;
}

void WaveOutConverter::Convert(const BYTE* data, std::size_t size, std::vector<BYTE>& out) {
  if (!m_decoder) {
    // Whole frames only; a damaged length must not shift the channels.
    size -= size % static_cast<std::size_t>(m_frameBytes);
    out.insert(out.end(), data, data + size);
    return;
  }
  Decoder& d = *m_decoder;
  if (d.parser) {
    while (size > 0) {
      uint8_t* pkt = nullptr;
      int pktSize = 0;
      int used = av_parser_parse2(d.parser, d.ctx, &pkt, &pktSize, data, static_cast<int>(size), AV_NOPTS_VALUE,
                                  AV_NOPTS_VALUE, 0);
      if (used < 0) return;
      data += used;
      size -= static_cast<std::size_t>(used);
      if (pktSize > 0) Decode(pkt, static_cast<std::size_t>(pktSize), out);
      if (used == 0 && pktSize == 0) break;
    }
    return;
  }
  d.pending.insert(d.pending.end(), data, data + size);
  std::size_t whole = d.pending.size() - d.pending.size() % d.blockAlign;
  for (std::size_t at = 0; at < whole; at += d.blockAlign) Decode(d.pending.data() + at, d.blockAlign, out);
  d.pending.erase(d.pending.begin(), d.pending.begin() + static_cast<std::ptrdiff_t>(whole));
}

void WaveOutConverter::Flush(std::vector<BYTE>& out) {
  if (!m_decoder) return;
  Decoder& d = *m_decoder;
  if (d.parser) {
    uint8_t* pkt = nullptr;
    int pktSize = 0;
    av_parser_parse2(d.parser, d.ctx, &pkt, &pktSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (pktSize > 0) Decode(pkt, static_cast<std::size_t>(pktSize), out);
  } else if (!d.pending.empty()) {
    // A short last block still holds samples (the decoders accept it).
    std::vector<BYTE> last;
    last.swap(d.pending);
    Decode(last.data(), last.size(), out);
  }
}

void WaveOutConverter::Restart() {
  if (!m_decoder) return;
  avcodec_flush_buffers(m_decoder->ctx);
  m_decoder->pending.clear();
}

void WaveOutConverter::Decode(const BYTE* data, std::size_t size, std::vector<BYTE>& out) {
  Decoder& d = *m_decoder;
  std::vector<uint8_t> padded(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  std::memcpy(padded.data(), data, size);
  d.packet->data = padded.data();
  d.packet->size = static_cast<int>(size);
  if (avcodec_send_packet(d.ctx, d.packet) >= 0) DrainFrames(out);
  d.packet->data = nullptr;
  d.packet->size = 0;
}

void WaveOutConverter::DrainFrames(std::vector<BYTE>& out) {
  Decoder& d = *m_decoder;
  while (avcodec_receive_frame(d.ctx, d.frame) >= 0) {
    // A stream whose frames change rate or channels mid-way cannot continue
    // on a device opened for the first.
    if (d.frame->sample_rate != static_cast<int>(m_rate) || d.frame->ch_layout.nb_channels != m_channels) {
      av_frame_unref(d.frame);
      continue;
    }
    if (!d.swr) {
      AVChannelLayout layout;
      av_channel_layout_default(&layout, m_channels);
      if (swr_alloc_set_opts2(&d.swr, &layout, AV_SAMPLE_FMT_S16, static_cast<int>(m_rate), &layout,
                              static_cast<AVSampleFormat>(d.frame->format), static_cast<int>(m_rate), 0,
                              nullptr) < 0 ||
          swr_init(d.swr) < 0) {
        swr_free(&d.swr);
        av_frame_unref(d.frame);
        return;
      }
    }
    int samples = d.frame->nb_samples;
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(samples) * static_cast<std::size_t>(m_frameBytes));
    uint8_t* dst = out.data() + at;
    int got = swr_convert(d.swr, &dst, samples, const_cast<const uint8_t**>(d.frame->extended_data), samples);
    out.resize(at + static_cast<std::size_t>(got > 0 ? got : 0) * static_cast<std::size_t>(m_frameBytes));
    av_frame_unref(d.frame);
  }
}
