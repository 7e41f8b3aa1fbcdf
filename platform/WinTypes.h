// Fixed-size integer types and small records with the widths and layouts the
// media and sound formats are stored in (little-endian, as in AVI files).
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using HRESULT = std::int32_t;
using COLORREF = std::uint32_t;  // 0x00BBGGRR
using FOURCC = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr FOURCC MakeFourCC(char a, char b, char c, char d) {
  return static_cast<FOURCC>(static_cast<BYTE>(a)) | (static_cast<FOURCC>(static_cast<BYTE>(b)) << 8) |
         (static_cast<FOURCC>(static_cast<BYTE>(c)) << 16) | (static_cast<FOURCC>(static_cast<BYTE>(d)) << 24);
}

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

struct POINT {
  LONG x = 0;
  LONG y = 0;
  bool operator==(const POINT&) const = default;
};

struct SIZE {
  LONG cx = 0;
  LONG cy = 0;
  bool operator==(const SIZE&) const = default;
};

struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
  LONG Width() const { return right - left; }
  LONG Height() const { return bottom - top; }
  bool operator==(const RECT&) const = default;
};
