// The fixture encoder and the decoder against each other: whatever the
// encoder produces must decode to exactly the picture it was given.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/ScreenDecoder.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Padding bytes are not part of the picture: the decoder leaves them alone.
std::string FirstDifference(const ScreenEncoder& e, const Bytes& want, const Bytes& got) {
  const std::size_t rowBytes = static_cast<std::size_t>(e.Width()) * (e.BitCount() / 8);
  for (std::size_t y = 0; y * e.Pitch() < want.size(); ++y)
    for (std::size_t i = 0; i < rowBytes; ++i)
      if (want[y * e.Pitch() + i] != got[y * e.Pitch() + i]) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "row %zu byte %zu: want %02x got %02x", y, i, want[y * e.Pitch() + i],
                      got[y * e.Pitch() + i]);
        return buf;
      }
  return "";
}

// Decodes a sequence of stored frames into one bitmap, as a movie is played.
class Player {
 public:
  explicit Player(const ScreenEncoder& e)
      : m_in(e.InputFormat()), m_out(e.OutputFormat()), m_picture(e.ImageBytes(), 0xEE), m_d(ScreenDecoderCreate()) {
    EXPECT_EQ(ScreenDecoderBegin(m_d, &m_in, &m_out), ICERR_OK);
  }
  ~Player() {
    ScreenDecoderEnd(m_d);
    ScreenDecoderFree(m_d);
  }
  int Decode(const Bytes& stored) {
    m_in.biSizeImage = static_cast<DWORD>(stored.size());
    return ScreenDecoderDecompress(m_d, &m_in, stored.data(), &m_out, m_picture.data());
  }
  const Bytes& Picture() const { return m_picture; }

 private:
  BITMAPINFOHEADER m_in;
  BITMAPINFOHEADER m_out;
  Bytes m_picture;
  ScreenDecoder* m_d;
};

struct Size {
  int width, height;
};

// Odd widths make row padding matter; 255/256/257/300 cross the longest run
// and literal.
const Size kSizes[] = {{5, 3}, {7, 4}, {13, 9}, {33, 17}, {255, 3}, {256, 2}, {257, 2}, {300, 5}, {97, 61}};
const int kDepths[] = {8, 16, 24, 32};

std::string Name(int w, int h, int bits) {
  return std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits);
}

}  // namespace

TEST(ScreenCodecRoundTrip, KeyFramesReproduceEveryPicture) {
  for (int bits : kDepths)
    for (const Size& s : kSizes) {
      const ScreenEncoder e(s.width, s.height, bits);
      const Bytes pictures[] = {
          MakeNoisePicture(s.width, s.height, bits, 1),
          MakeScreenPicture(s.width, s.height, bits, 2),
          Bytes(e.ImageBytes(), 0x5A),  // one colour: nothing but long runs
      };
      for (const Bytes& p : pictures) {
        SCOPED_TRACE(Name(s.width, s.height, bits));
        Player player(e);
        ASSERT_EQ(player.Decode(e.EncodeKey(p.data())), ICERR_OK);
        EXPECT_EQ(FirstDifference(e, p, player.Picture()), "");
      }
    }
}

TEST(ScreenCodecRoundTrip, DeltaChainsReproduceTheLastPicture) {
  for (int bits : kDepths)
    for (const Size& s : {Size{33, 17}, Size{300, 40}, Size{97, 61}}) {
      SCOPED_TRACE(Name(s.width, s.height, bits));
      const ScreenEncoder e(s.width, s.height, bits);
      Player player(e);
      Bytes picture = MakeScreenPicture(s.width, s.height, bits, 3);
      ASSERT_EQ(player.Decode(e.EncodeKey(picture.data())), ICERR_OK);
      for (std::uint32_t step = 0; step < 6; ++step) {
        Bytes next = picture;
        if (step % 3 == 2) {
          // Scattered single pixels: skips in every direction.
          Bytes noise = MakeNoisePicture(s.width, s.height, bits, step);
          for (std::size_t i = step; i < next.size(); i += 37 + step) next[i] = noise[i];
        } else {
          ChangeScreenPicture(next, s.width, s.height, bits, 0.05, step);
        }
        ASSERT_EQ(player.Decode(e.EncodeDelta(next.data(), picture.data())), ICERR_OK) << "step " << step;
        picture = next;
        ASSERT_EQ(FirstDifference(e, picture, player.Picture()), "") << "step " << step;
      }
    }
}

TEST(ScreenCodecRoundTrip, TallPicturesSkipMoreThan255Rows) {
  const ScreenEncoder e(8, 700, 16);
  Bytes previous(e.ImageBytes(), 0);
  Bytes next = previous;
  next[699 * e.Pitch() + 14] = 0x7F;  // top row, last pixel
  next[300 * e.Pitch()] = 0x01;
  Player player(e);
  ASSERT_EQ(player.Decode(e.EncodeKey(previous.data())), ICERR_OK);
  ASSERT_EQ(player.Decode(e.EncodeDelta(next.data(), previous.data())), ICERR_OK);
  EXPECT_EQ(FirstDifference(e, next, player.Picture()), "");
}

TEST(ScreenCodecRoundTrip, TopDownPicturesKeepMemoryOrder) {
  const ScreenEncoder e(13, -9, 24);
  const Bytes p = MakeScreenPicture(13, 9, 24, 4);
  Player player(e);
  ASSERT_EQ(player.Decode(e.EncodeKey(p.data())), ICERR_OK);
  EXPECT_EQ(FirstDifference(e, p, player.Picture()), "");
}

TEST(ScreenCodecRoundTrip, UnchangedDeltaIsTheTwoByteEndOfFrame) {
  for (int bits : kDepths) {
    const ScreenEncoder e(97, 61, bits);
    const Bytes p = MakeScreenPicture(97, 61, bits, 5);
    EXPECT_EQ(e.EncodeDelta(p.data(), p.data()), (Bytes{0, 1})) << bits;
  }
}
