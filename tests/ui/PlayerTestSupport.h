// Shared pieces of the player window tests: one Qt application for the whole
// program, the null sound device, and small screen-codec movies.
#pragma once

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "media/ScreenDecoder.h"
#include "platform/WaveOut.h"
#include "tests/support/AviWriter.h"
#include "tests/support/ScreenEncoder.h"
#include "tests/support/ScreenPictures.h"
#include "tests/support/TempDir.h"

inline QApplication* TestApp() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    SelectWaveOutDevice(WaveOutDeviceKind::Null);
    return new QApplication(argc, argv);
  }();
  return app;
}

// A silent 16-bit screen recording: `frames` pictures at `fps`, a key frame
// first, then deltas with a 0-byte sample for every third (unchanged) one.
inline bool WriteScreenMovie(const std::string& path, int frames, DWORD fps, int width = 64, int height = 48) {
  ScreenEncoder enc(width, height, 16);
  AviWriter writer;
  const int video = writer.AddStream(AviStreamSpec::Video(SCREEN_CODEC_FOURCC, width, height, 16, fps));
  std::vector<std::uint8_t> picture = MakeScreenPicture(width, height, 16, 7);
  std::vector<std::uint8_t> previous = picture;
  for (int i = 0; i < frames; ++i) {
    if (i == 0) {
      const auto stored = enc.EncodeKey(picture.data());
      writer.AddFrame(video, stored, true);
    } else if (i % 3 == 0) {
      writer.AddFrame(video, {}, false);
    } else {
      ChangeScreenPicture(picture, width, height, 16, 0.05, static_cast<std::uint32_t>(i));
      const auto stored = enc.EncodeDelta(picture.data(), previous.data());
      writer.AddFrame(video, stored, false);
      previous = picture;
    }
  }
  return writer.Write(path);
}
