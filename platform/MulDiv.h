#pragma once

#include "platform/WinTypes.h"

// number * numerator / denominator with a 64-bit product, rounded to the
// nearest integer with halves away from zero. A zero denominator, or a result
// that does not fit in 32 bits, gives -1.
int MulDiv(int number, int numerator, int denominator);
