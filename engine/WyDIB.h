// A view of one device-independent bitmap (header with colour table, pixel
// rows) that can draw it scaled. It normally points into memory owned by the
// movie file; ownership of either block can be handed over with the flags.
#pragma once

#include "platform/BitmapRecords.h"

class QPainter;
class QImage;

constexpr DWORD WYDIB_OWN_HEADER = 0x1;
constexpr DWORD WYDIB_OWN_BITS = 0x4;

// Stretch modes accepted by Draw.
constexpr int COLORONCOLOR = 3;  // nearest neighbour
constexpr int HALFTONE = 4;      // smoothed
constexpr DWORD SRCCOPY = 0x00CC0020;

class WyDIB {
 public:
  WyDIB() = default;
  WyDIB(const WyDIB&) = delete;
  WyDIB& operator=(const WyDIB&) = delete;
  virtual ~WyDIB();

  // Shows the given frame. False when the header is missing or of an unknown
  // size (nothing attached then), or when the bit depth cannot be drawn.
  bool Attach(const BITMAPINFO* pHeader, const void* pBits, DWORD dwFlags = 0);
  // Frees owned blocks and forgets the frame.
  void Clear();

  // Draws source rectangle (xs, ys, ws, hs) of the frame into (xd, yd, wd, hd)
  // of the painter. -1 without a frame; otherwise the number of scan lines
  // drawn (0 when the frame cannot be drawn).
  int Draw(QPainter& painter, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs,
           int nStretchMode = COLORONCOLOR, DWORD dwRop = SRCCOPY) const;

  const BITMAPINFO* GetHeader() const { return m_pHeader; }
  const void* GetBits() const { return m_pBits; }
  LONG GetWidth() const { return m_nWidth; }
  LONG GetHeight() const { return m_nHeight; }  // always positive
  bool IsTopDown() const { return m_bTopDown; }
  DWORD GetPlanes() const { return m_nPlanes; }
  DWORD GetBitCount() const { return m_nBitCount; }
  bool IsEmpty() const { return m_pHeader == nullptr; }

 private:
  // A QImage over the bits (no copy), rows in memory order; null image when
  // the format cannot be shown.
  bool WrapBits(QImage& image) const;

  DWORD m_dwFlags = 0;
  const BITMAPINFO* m_pHeader = nullptr;
  const void* m_pBits = nullptr;
  LONG m_nWidth = 0;
  LONG m_nHeight = 0;
  bool m_bTopDown = false;
  DWORD m_nPlanes = 1;
  DWORD m_nBitCount = 1;
  DWORD m_dwCompression = BI_RGB;
};
