#include "engine/WyDIB.h"

#include <QImage>
#include <QPainter>
#include <cstdlib>

namespace {

constexpr DWORD kCoreHeaderSize = 12;
constexpr DWORD kInfoHeaderSize = 40;
constexpr DWORD kV4HeaderSize = 108;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;

#pragma pack(push, 1)
struct CoreHeader {
  DWORD bcSize;
  WORD bcWidth;
  WORD bcHeight;
  WORD bcPlanes;
  WORD bcBitCount;
};
#pragma pack(pop)

}  // namespace

WyDIB::~WyDIB() { Clear(); }

bool WyDIB::Attach(const BITMAPINFO* pHeader, const void* pBits, DWORD dwFlags) {
  if (pHeader == nullptr) return false;
  Clear();
  m_pHeader = pHeader;
  m_dwFlags = dwFlags;
  const DWORD size = pHeader->bmiHeader.biSize;
  if (size == kCoreHeaderSize) {
    const auto* core = reinterpret_cast<const CoreHeader*>(pHeader);
    m_nWidth = core->bcWidth;
    m_nHeight = core->bcHeight;
    m_nPlanes = core->bcPlanes;
    m_nBitCount = core->bcBitCount;
    m_dwCompression = BI_RGB;
  } else if (size == kInfoHeaderSize || size == kV4HeaderSize) {
    const BITMAPINFOHEADER& bih = pHeader->bmiHeader;
    m_nWidth = bih.biWidth;
    // INT32_MIN has no absolute value; such a header cannot be drawn anyway.
    m_nHeight = bih.biHeight == INT32_MIN ? 0 : std::abs(bih.biHeight);
    m_bTopDown = bih.biHeight < 0;
    m_nPlanes = bih.biPlanes;
    m_nBitCount = bih.biBitCount;
    m_dwCompression = bih.biCompression;
  } else {
    // Unknown layout: keep nothing that Draw could misread.
    Clear();
    return false;
  }
  m_pBits = pBits;
  switch (m_nBitCount) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32:
      return true;
    case 0:
      return m_dwCompression == BI_JPEG || m_dwCompression == BI_PNG;
    default:
      return false;
  }
}

void WyDIB::Clear() {
  if ((m_dwFlags & WYDIB_OWN_HEADER) && m_pHeader) std::free(const_cast<BITMAPINFO*>(m_pHeader));
  if ((m_dwFlags & WYDIB_OWN_BITS) && m_pBits) std::free(const_cast<void*>(m_pBits));
  m_pHeader = nullptr;
  m_pBits = nullptr;
  m_dwFlags = 0;
  m_nWidth = m_nHeight = 0;
  m_bTopDown = false;
  m_nPlanes = m_nBitCount = 1;
  m_dwCompression = BI_RGB;
}

bool WyDIB::WrapBits(QImage& image) const {
  if (m_pBits == nullptr || m_nWidth <= 0 || m_nHeight <= 0 || m_dwCompression != BI_RGB) return false;
  const qsizetype pitch = static_cast<qsizetype>(DibRowBytes(m_nWidth, m_nBitCount));
  const auto* bits = static_cast<const uchar*>(m_pBits);
  switch (m_nBitCount) {
    case 32:
      image = QImage(bits, m_nWidth, m_nHeight, pitch, QImage::Format_RGB32);
      break;
    case 24:
      image = QImage(bits, m_nWidth, m_nHeight, pitch, QImage::Format_BGR888);
      break;
    case 16:
      image = QImage(bits, m_nWidth, m_nHeight, pitch, QImage::Format_RGB555);
      break;
    case 8: {
      image = QImage(bits, m_nWidth, m_nHeight, pitch, QImage::Format_Indexed8);
      // The colour table follows the header: RGBQUADs after a 40/108-byte
      // header, RGB triples after a core header.
      QList<QRgb> colours(256, qRgb(0, 0, 0));
      const auto* base = reinterpret_cast<const BYTE*>(m_pHeader);
      if (m_pHeader->bmiHeader.biSize == kCoreHeaderSize) {
        const BYTE* t = base + kCoreHeaderSize;
        for (int i = 0; i < 256; ++i) colours[i] = qRgb(t[i * 3 + 2], t[i * 3 + 1], t[i * 3]);
      } else {
        DWORD used = m_pHeader->bmiHeader.biClrUsed;
        if (used == 0 || used > 256) used = 256;
        const auto* t = reinterpret_cast<const RGBQUAD*>(base + m_pHeader->bmiHeader.biSize);
        for (DWORD i = 0; i < used; ++i) colours[i] = qRgb(t[i].rgbRed, t[i].rgbGreen, t[i].rgbBlue);
      }
      image.setColorTable(colours);
      break;
    }
    default:
      return false;
  }
  return !image.isNull();
}

int WyDIB::Draw(QPainter& painter, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs,
                int nStretchMode, DWORD /*dwRop: only copying is supported*/) const {
  if (m_pHeader == nullptr) return -1;
  QImage image;
  if (!WrapBits(image) || wd == 0 || hd == 0 || ws <= 0 || hs <= 0) return 0;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform, nStretchMode == HALFTONE);
  const QRectF target(0, 0, wd, hd);
  if (m_bTopDown) {
    painter.translate(xd, yd);
    painter.drawImage(target, image, QRectF(xs, ys, ws, hs));
  } else {
    // Bottom-up rows: the source rectangle counts from the bottom line, which
    // is the first row in memory; draw it mirrored vertically.
    painter.translate(xd, yd + hd);
    painter.scale(1, -1);
    painter.drawImage(target, image, QRectF(xs, ys, ws, hs));
  }
  painter.restore();
  return hs;
}
