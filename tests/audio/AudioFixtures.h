// Sound fixtures for the engine tests: PCM movies written with the fixture
// writer, and a recognisable sample pattern to check what was played.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

// 16-bit mono samples whose value is their index (mod 32768, never repeating
// within a 1.5 s window at 22050 Hz).
std::vector<BYTE> CountingPcm16(std::size_t samples, std::size_t first = 0);

// Writes an AVI with one 16-bit mono PCM stream of `ms` milliseconds at
// `rate` samples per second, in chunks of `chunkSamples`, optionally with a
// 15 fps screen-codec video stream of the same length. Returns the path.
std::string WriteSoundMovie(const std::string& path, int ms, DWORD rate = 22050, std::size_t chunkSamples = 2205,
                            bool withVideo = false);
