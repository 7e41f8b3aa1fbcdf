#include "platform/MulDiv.h"

#include <cstdint>
#include <limits>

int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  std::int64_t product = static_cast<std::int64_t>(number) * numerator;
  std::int64_t den = denominator;
  const bool negative = (product < 0) != (den < 0);
  std::uint64_t p = product < 0 ? static_cast<std::uint64_t>(-product) : static_cast<std::uint64_t>(product);
  std::uint64_t d = den < 0 ? static_cast<std::uint64_t>(-den) : static_cast<std::uint64_t>(den);
  std::uint64_t q = (p + d / 2) / d;
  if (q > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return -1;
  return negative ? -static_cast<int>(q) : static_cast<int>(q);
}
