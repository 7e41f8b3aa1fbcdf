// Shared pieces of the engine tests: the Qt application (offscreen), waiting
// on the event loop, a parent widget that records the movie notifications,
// and in-memory bitmaps.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/MovieNotifyEvent.h"
#include "platform/BitmapRecords.h"

inline QApplication& EnsureQtApp() {
  static int argc = 1;
  static char arg0[] = "engine_tests";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Runs the event loop until pred holds or timeoutMs passed; returns pred().
// The bound is generous: it only stops a broken test from hanging.
inline bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > timeoutMs) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs the event loop for ms milliseconds.
inline void PumpEvents(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class NotifyRecorder : public QWidget {
 public:
  struct Note {
    unsigned wParam;
    LONG lParam;
  };
  std::vector<Note> notes;

  std::vector<LONG> States() const {
    std::vector<LONG> v;
    for (const Note& n : notes)
      if (n.wParam == MOVIE_NOTIFY_STATE) v.push_back(n.lParam);
    return v;
  }
  std::vector<LONG> Positions() const {
    std::vector<LONG> v;
    for (const Note& n : notes)
      if (n.wParam == MOVIE_NOTIFY_POSITION) v.push_back(n.lParam);
    return v;
  }
  bool HasState(LONG s) const {
    for (LONG v : States())
      if (v == s) return true;
    return false;
  }
  void Clear() { notes.clear(); }

 protected:
  bool event(QEvent* e) override {
    if (e->type() == MovieNotifyEvent::kType) {
      auto* n = static_cast<MovieNotifyEvent*>(e);
      notes.push_back({n->wParam(), n->lParam()});
      return true;
    }
    return QWidget::event(e);
  }
};

// A bitmap in memory: header with a 256-entry colour table, and rows.
struct TestDib {
  std::vector<BYTE> header;
  std::vector<BYTE> bits;
  const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(header.data()); }
};

// colourAt(x, y) gives the colour with y counted from the top of the picture;
// 8-bit bitmaps take the colour's index in `palette` (which must hold it).
inline TestDib MakeDib(int w, int h, int bitCount, bool topDown, const std::function<QRgb(int, int)>& colourAt,
                       const std::vector<QRgb>& palette = {}) {
  TestDib d;
  d.header.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(d.header.data());
  bih->biSize = sizeof(BITMAPINFOHEADER);
  bih->biWidth = w;
  bih->biHeight = topDown ? -h : h;
  bih->biPlanes = 1;
  bih->biBitCount = static_cast<WORD>(bitCount);
  bih->biCompression = BI_RGB;
  const std::size_t pitch = static_cast<std::size_t>(DibRowBytes(w, bitCount));
  bih->biSizeImage = static_cast<DWORD>(pitch * h);
  auto* table = reinterpret_cast<RGBQUAD*>(d.header.data() + sizeof(BITMAPINFOHEADER));
  for (std::size_t i = 0; i < palette.size() && i < 256; ++i)
    table[i] = RGBQUAD{static_cast<BYTE>(qBlue(palette[i])), static_cast<BYTE>(qGreen(palette[i])),
                       static_cast<BYTE>(qRed(palette[i])), 0};
  d.bits.assign(pitch * h, 0);
  for (int y = 0; y < h; ++y) {
    BYTE* row = d.bits.data() + pitch * static_cast<std::size_t>(topDown ? y : h - 1 - y);
    for (int x = 0; x < w; ++x) {
      const QRgb c = colourAt(x, y);
      switch (bitCount) {
        case 8: {
          std::size_t i = 0;
          while (i < palette.size() && (palette[i] & 0xFFFFFF) != (c & 0xFFFFFF)) ++i;
          row[x] = static_cast<BYTE>(i);
          break;
        }
        case 16: {
          const WORD v = static_cast<WORD>(((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3));
          row[x * 2] = static_cast<BYTE>(v & 0xFF);
          row[x * 2 + 1] = static_cast<BYTE>(v >> 8);
          break;
        }
        case 24:
          row[x * 3] = static_cast<BYTE>(qBlue(c));
          row[x * 3 + 1] = static_cast<BYTE>(qGreen(c));
          row[x * 3 + 2] = static_cast<BYTE>(qRed(c));
          break;
        case 32:
          row[x * 4] = static_cast<BYTE>(qBlue(c));
          row[x * 4 + 1] = static_cast<BYTE>(qGreen(c));
          row[x * 4 + 2] = static_cast<BYTE>(qRed(c));
          row[x * 4 + 3] = 0;
          break;
      }
    }
  }
  return d;
}

// Four quadrants of distinct colours, so that a flipped or mirrored picture
// shows.
constexpr QRgb kTopLeft = 0xFFF80000;      // red
constexpr QRgb kTopRight = 0xFF00F800;     // green
constexpr QRgb kBottomLeft = 0xFF0000F8;   // blue
constexpr QRgb kBottomRight = 0xFFF8F8F8;  // white
inline std::function<QRgb(int, int)> Quadrants(int w, int h) {
  return [w, h](int x, int y) {
    const bool right = x >= w / 2;
    const bool bottom = y >= h / 2;
    return bottom ? (right ? kBottomRight : kBottomLeft) : (right ? kTopRight : kTopLeft);
  };
}
