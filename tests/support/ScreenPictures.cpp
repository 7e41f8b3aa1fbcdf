#include "tests/support/ScreenPictures.h"

#include <algorithm>
#include <cstdlib>
#include <random>

#include "platform/BitmapRecords.h"

namespace {

// Raw engine output only: the standard distributions differ between libraries.
class Random {
 public:
  explicit Random(std::uint32_t seed) : m_engine(seed) {}
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(m_engine() % static_cast<std::uint32_t>(n)); }
  std::uint32_t Colour() { return m_engine() & 0xFFFFFF; }

 private:
  std::mt19937 m_engine;
};

class Canvas {
 public:
  Canvas(std::vector<std::uint8_t>& pixels, int width, int height, int bitCount)
      : m_pixels(pixels),
        m_width(width),
        m_height(std::abs(height)),
        m_bpp(bitCount / 8),
        m_pitch(static_cast<std::size_t>(DibRowBytes(width, bitCount))) {}

  int Width() const { return m_width; }
  int Height() const { return m_height; }

  // rgb as 0xRRGGBB.
  void Put(int x, int y, std::uint32_t rgb) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    std::uint8_t* p = m_pixels.data() + static_cast<std::size_t>(y) * m_pitch + static_cast<std::size_t>(x) * m_bpp;
    const unsigned r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    switch (m_bpp) {
      case 1: p[0] = static_cast<std::uint8_t>((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6)); break;
      case 2: {
        const unsigned v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        break;
      }
      default:
        p[0] = static_cast<std::uint8_t>(b);
        p[1] = static_cast<std::uint8_t>(g);
        p[2] = static_cast<std::uint8_t>(r);
        if (m_bpp == 4) p[3] = 0;
    }
  }

  void Fill(int x0, int y0, int w, int h, std::uint32_t rgb) {
    for (int y = std::max(0, y0); y < std::min(m_height, y0 + h); ++y)
      for (int x = std::max(0, x0); x < std::min(m_width, x0 + w); ++x) Put(x, y, rgb);
  }

  // Lines of 5x7 glyphs of random strokes, 6 pixels apart, 10 rows per line.
  void Text(int x0, int y0, int w, int h, std::uint32_t rgb, Random& random) {
    for (int line = y0 + 2; line + 8 <= y0 + h; line += 10) {
      const int words = x0 + 4 + random.Below(std::max(1, w - 8));
      for (int gx = x0 + 4; gx + 5 <= std::min(x0 + w, words); gx += 6) {
        if (random.Below(7) == 0) continue;  // a space
        const std::uint32_t bits = static_cast<std::uint32_t>(random.Below(1 << 30));
        for (int i = 0; i < 35; ++i)
          if (bits >> (i % 30) & 1 && (i % 3)) Put(gx + i % 5, line + i / 5, rgb);
      }
    }
  }

 private:
  std::vector<std::uint8_t>& m_pixels;
  int m_width;
  int m_height;
  int m_bpp;
  std::size_t m_pitch;
};

std::vector<std::uint8_t> Blank(int width, int height, int bitCount) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(DibRowBytes(width, bitCount)) *
                                   static_cast<std::size_t>(std::abs(height)));
}

}  // namespace

std::vector<std::uint8_t> MakeScreenPicture(int width, int height, int bitCount, std::uint32_t seed) {
  std::vector<std::uint8_t> pixels = Blank(width, height, bitCount);
  Canvas canvas(pixels, width, height, bitCount);
  Random random(seed);
  const int w = canvas.Width(), h = canvas.Height();
  canvas.Fill(0, 0, w, h, 0x3A6EA5);
  canvas.Fill(0, 0, w, std::max(1, h / 30), 0xC0C0C0);  // task bar (bottom rows come first)
  const int windows = 3 + random.Below(3);
  for (int i = 0; i < windows; ++i) {
    const int ww = std::max(1, w / 4 + random.Below(std::max(1, w / 2)));
    const int wh = std::max(1, h / 4 + random.Below(std::max(1, h / 2)));
    const int x = random.Below(std::max(1, w - ww));
    const int y = h / 30 + random.Below(std::max(1, h - wh - h / 30));
    canvas.Fill(x, y, ww, wh, 0x808080);
    canvas.Fill(x + 1, y + 1, ww - 2, wh - 2, 0xFFFFFF);
    canvas.Fill(x + 1, y + wh - 19, ww - 2, 18, i == windows - 1 ? 0x000080 : 0x808080);  // title bar
    canvas.Text(x + 2, y + 2, ww - 4, wh - 24, random.Below(4) ? 0x000000 : 0x0000FF, random);
  }
  // A photo: smooth gradient with noise, which runs cannot code.
  const int pw = std::max(1, w / 8), ph = std::max(1, h / 8);
  const int px = random.Below(std::max(1, w - pw)), py = random.Below(std::max(1, h - ph));
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) {
      const std::uint32_t noise = static_cast<std::uint32_t>(random.Below(24));
      const std::uint32_t r = (x * 200 / pw + noise) & 0xFF, g = (y * 200 / ph + noise) & 0xFF, b = (128 + noise) & 0xFF;
      canvas.Put(px + x, py + y, r << 16 | g << 8 | b);
    }
  return pixels;
}

std::vector<std::uint8_t> MakeNoisePicture(int width, int height, int bitCount, std::uint32_t seed) {
  std::vector<std::uint8_t> pixels = Blank(width, height, bitCount);
  Random random(seed);
  for (std::uint8_t& byte : pixels) byte = static_cast<std::uint8_t>(random.Below(256));
  return pixels;
}

void ChangeScreenPicture(std::vector<std::uint8_t>& pixels, int width, int height, int bitCount, double fraction,
                         std::uint32_t seed) {
  Canvas canvas(pixels, width, height, bitCount);
  Random random(seed);
  const int w = canvas.Width(), h = canvas.Height();
  const double wanted = fraction * w * h;
  double covered = 0;
  while (covered < wanted) {
    const int rw = std::min(w, 40 + random.Below(200));
    const int rh = std::min(h, 10 + random.Below(30));
    const int x = random.Below(std::max(1, w - rw + 1));
    const int y = random.Below(std::max(1, h - rh + 1));
    canvas.Fill(x, y, rw, rh, random.Colour() | 0x404040);
    canvas.Text(x, y, rw, rh, random.Colour() & 0x3F3F3F, random);
    covered += static_cast<double>(rw) * rh;
  }
}
