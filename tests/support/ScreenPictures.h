// Deterministic pictures for screen-codec tests, benchmarks and demo movies,
// in the DIB layout of ScreenEncoder (rows padded to 4 bytes; 8-bit pixels
// are indices into a 3-3-2 colour cube, 16-bit pixels are 5-5-5).
#pragma once

#include <cstdint>
#include <vector>

// A desktop: a plain background with a few windows (title bar, border, lines
// of glyph-like text) and one small photo-like area.
std::vector<std::uint8_t> MakeScreenPicture(int width, int height, int bitCount, std::uint32_t seed);

// Every pixel random: the worst case for the codec.
std::vector<std::uint8_t> MakeNoisePicture(int width, int height, int bitCount, std::uint32_t seed);

// Repaints small rectangles (new background and text) until about
// `fraction` of the picture's pixels are covered, as typing or a tooltip does.
void ChangeScreenPicture(std::vector<std::uint8_t>& pixels, int width, int height, int bitCount, double fraction,
                         std::uint32_t seed);
