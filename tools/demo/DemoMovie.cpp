// Writes the demo movie: about ten seconds of a screen recording at 15 frames
// per second in the 16-bit screen codec, with a pointer that moves, a line of
// text being typed, pauses in which nothing changes (stored as 0-byte
// frames), and a short melody as PCM sound.
//
//   quorvix-demo-movie OUT.avi [SECONDS] [--silent] [--picture FRAME FILE.png]
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/ScreenDecoder.h"
#include "tests/support/AviWriter.h"
#include "tests/support/ScreenEncoder.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 320;
constexpr int kFps = 15;
constexpr int kKeyInterval = 75;  // a key frame every five seconds
constexpr int kSampleRate = 22050;

const char kTyped[] = "Hello from Quorvix 播放器! Recording the screen...";

// Where the pointer is at frame i: it rests, glides to the editor, rests
// while the text is typed, then wanders off.
QPointF PointerAt(int i, int frames) {
  const QPointF start(400, 260), editor(150, 130), end(420, 60);
  const int glideFrom = frames / 10, glideTo = frames * 3 / 10;
  const int leaveFrom = frames * 8 / 10, leaveTo = frames * 9 / 10;
  auto lerp = [](QPointF a, QPointF b, double t) { return a + (b - a) * (0.5 - 0.5 * std::cos(t * M_PI)); };
  if (i < glideFrom) return start;
  if (i < glideTo) return lerp(start, editor, double(i - glideFrom) / (glideTo - glideFrom));
  if (i < leaveFrom) return editor;
  if (i < leaveTo) return lerp(editor, end, double(i - leaveFrom) / (leaveTo - leaveFrom));
  return end;
}

// Characters typed by frame i (two frames per character once typing starts).
int TypedAt(int i, int frames, int length) {
  const int from = frames * 3 / 10 + 3;
  if (i < from) return 0;
  return std::min(length, (i - from) / 2 + 1);
}

void PaintScreen(QImage& image, const QPointF& pointer, const QString& text, bool cursorOn) {
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  // Desktop.
  QLinearGradient sky(0, 0, 0, kHeight);
  sky.setColorAt(0, QColor(0x1d, 0x4e, 0x7a));
  sky.setColorAt(1, QColor(0x0b, 0x1f, 0x3a));
  p.fillRect(image.rect(), sky);
  p.fillRect(QRect(0, kHeight - 24, kWidth, 24), QColor(0x20, 0x20, 0x28));
  p.fillRect(QRect(4, kHeight - 20, 60, 16), QColor(0xf2, 0xb1, 0x34));
  QFont small("WenQuanYi Micro Hei");
  small.setPixelSize(11);
  p.setFont(small);
  p.setPen(Qt::black);
  p.drawText(QRect(4, kHeight - 20, 60, 16), Qt::AlignCenter, QString::fromUtf8("开始"));
  // Editor window.
  const QRect win(30, 60, 400, 170);
  p.fillRect(win.adjusted(4, 4, 4, 4), QColor(0, 0, 0, 90));
  p.fillRect(win, QColor(0xf4, 0xf4, 0xf0));
  p.fillRect(QRect(win.left(), win.top(), win.width(), 22), QColor(0x2f, 0x6f, 0xb0));
  p.setPen(Qt::white);
  p.drawText(QRect(win.left() + 8, win.top(), win.width() - 16, 22), Qt::AlignVCenter,
             QString::fromUtf8("记事本 - demo.txt"));
  p.setPen(QColor(0x30, 0x30, 0x30));
  QFont mono("DejaVu Sans Mono");
  mono.setPixelSize(14);
  p.setFont(mono);
  const QRect textArea(win.left() + 10, win.top() + 32, win.width() - 20, win.height() - 42);
  p.drawText(textArea, Qt::TextWordWrap, text);
  if (cursorOn) {
    const QRect used = p.boundingRect(textArea, Qt::TextWordWrap, text.isEmpty() ? QString(" ") : text);
    const int x = text.isEmpty() ? textArea.left() : used.right() + 1;
    const int y = text.isEmpty() ? textArea.top() : used.bottom() - 16;
    p.fillRect(QRect(x, y + 1, 2, 15), QColor(0x30, 0x30, 0x30));
  }
  // Pointer.
  QPainterPath arrow;
  arrow.moveTo(0, 0);
  arrow.lineTo(0, 17);
  arrow.lineTo(4, 13);
  arrow.lineTo(8, 20);
  arrow.lineTo(11, 19);
  arrow.lineTo(7, 12);
  arrow.lineTo(12, 12);
  arrow.closeSubpath();
  p.translate(pointer.toPoint());
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawPath(arrow);
}

// The picture in the codec's layout: 5-5-5 pixels, bottom row first.
std::vector<std::uint8_t> ToDib(const QImage& image, std::size_t pitch) {
  std::vector<std::uint8_t> out(pitch * kHeight);
  for (int y = 0; y < kHeight; ++y)
    std::memcpy(out.data() + pitch * (kHeight - 1 - y), image.constScanLine(y), kWidth * 2);
  return out;
}

// "Twinkle, twinkle" on a soft sine voice, looped over the movie.
std::vector<BYTE> Melody(int seconds) {
  static const int notes[] = {60, 60, 67, 67, 69, 69, 67, -1, 65, 65, 64, 64, 62, 62, 60, -1};
  const double noteSeconds = 0.32;
  const std::size_t total = static_cast<std::size_t>(kSampleRate) * seconds;
  std::vector<BYTE> pcm(total * 2);
  for (std::size_t n = 0; n < total; ++n) {
    const double t = double(n) / kSampleRate;
    const std::size_t k = static_cast<std::size_t>(t / noteSeconds);
    const int note = notes[k % std::size(notes)];
    double v = 0;
    if (note >= 0) {
      const double f = 440.0 * std::pow(2.0, (note - 69) / 12.0);
      const double u = t - k * noteSeconds;
      const double env = std::min(1.0, u * 40) * std::exp(-u * 5);
      v = env * (0.6 * std::sin(2 * M_PI * f * t) + 0.2 * std::sin(4 * M_PI * f * t));
    }
    const auto s = static_cast<std::int16_t>(std::lround(v * 12000));
    pcm[2 * n] = static_cast<BYTE>(s & 0xff);
    pcm[2 * n + 1] = static_cast<BYTE>((s >> 8) & 0xff);
  }
  return pcm;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out;
  int seconds = 10;
  bool silent = false;
  int pictureFrame = -1;
  std::string pictureFile;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--silent") {
      silent = true;
    } else if (a == "--picture" && i + 2 < argc) {
      pictureFrame = std::atoi(argv[++i]);
      pictureFile = argv[++i];
    }
    else if (out.empty())
      out = a;
    else
      seconds = std::atoi(a.c_str());
  }
  if (out.empty() || seconds < 1 || seconds > 600) {
    std::fprintf(stderr, "usage: %s OUT.avi [SECONDS 1..600] [--silent] [--picture FRAME FILE.png]\n", argv[0]);
    return 2;
  }
  // Fonts need a GUI application, not a display.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);

  const int frames = seconds * kFps;
  ScreenEncoder enc(kWidth, kHeight, 16);
  AviWriter writer;
  const int video = writer.AddStream(AviStreamSpec::Video(SCREEN_CODEC_FOURCC, kWidth, kHeight, 16, kFps));
  const int sound = silent ? -1 : writer.AddStream(AviStreamSpec::Pcm(1, kSampleRate, 16));
  const std::vector<BYTE> pcm = silent ? std::vector<BYTE>() : Melody(seconds);

  const QString typed = QString::fromUtf8(kTyped);
  QImage image(kWidth, kHeight, QImage::Format_RGB555);
  std::vector<std::uint8_t> previous;
  int keyFrames = 0, emptyFrames = 0;
  // Every stored frame is decoded again and compared, so a fault of the
  // encoder shows here and not as a garbled demo.
  ScreenDecoder* decoder = ScreenDecoderCreate();
  const BITMAPINFOHEADER inFormat = enc.InputFormat();
  BITMAPINFOHEADER outFormat = enc.OutputFormat();
  if (!decoder || ScreenDecoderBegin(decoder, &inFormat, &outFormat) != ICERR_OK) {
    std::fprintf(stderr, "the screen decoder refuses the demo format\n");
    return 1;
  }
  std::vector<std::uint8_t> decoded(enc.ImageBytes());
  auto check = [&](const std::vector<std::uint8_t>& stored, const std::vector<std::uint8_t>& want, int i) {
    BITMAPINFOHEADER in = inFormat;
    in.biSizeImage = static_cast<DWORD>(stored.size());
    if (!stored.empty() &&
        ScreenDecoderDecompress(decoder, &in, stored.data(), &outFormat, decoded.data()) != ICERR_OK) {
      std::fprintf(stderr, "frame %d does not decode\n", i);
      std::exit(1);
    }
    for (int y = 0; y < kHeight; ++y)
      if (std::memcmp(decoded.data() + y * enc.Pitch(), want.data() + y * enc.Pitch(), kWidth * 2) != 0) {
        std::fprintf(stderr, "frame %d decodes to another picture (row %d)\n", i, y);
        std::exit(1);
      }
  };
  for (int i = 0; i < frames; ++i) {
    const int n = TypedAt(i, frames, static_cast<int>(typed.size()));
    // The cursor blinks only while nothing is typed, in one-second steps.
    const bool cursorOn = n == typed.size() ? (i / kFps) % 2 == 0 : true;
    PaintScreen(image, PointerAt(i, frames), typed.left(n), cursorOn);
    if (i == pictureFrame) image.save(QString::fromStdString(pictureFile));
    std::vector<std::uint8_t> pixels = ToDib(image, enc.Pitch());
    std::vector<std::uint8_t> stored;
    const bool key = i % kKeyInterval == 0;
    if (key) {
      stored = enc.EncodeKey(pixels.data());
      ++keyFrames;
    } else if (pixels == previous) {
      ++emptyFrames;  // stored as a 0-byte sample
    } else {
      stored = enc.EncodeDelta(pixels.data(), previous.data());
    }
    check(stored, pixels, i);
    writer.AddFrame(video, stored, key);
    previous = std::move(pixels);
    if (sound >= 0) {
      const std::size_t from = static_cast<std::size_t>(i) * kSampleRate / kFps * 2;
      const std::size_t to = static_cast<std::size_t>(i + 1) * kSampleRate / kFps * 2;
      writer.AddSound(sound, std::span<const BYTE>(pcm).subspan(from, to - from));
    }
  }
  ScreenDecoderEnd(decoder);
  ScreenDecoderFree(decoder);
  if (!writer.Write(out)) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%s: %d frames (%d key, %d unchanged), %d s%s\n", out.c_str(), frames, keyFrames, emptyFrames,
              seconds, silent ? "" : ", with sound");
  return 0;
}
