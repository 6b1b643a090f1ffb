#pragma once
// The general number text of a figure (see GeneralTextTo in numbers.h), with
// the two ways it is made: straight from the float's bits, and through the
// library's decimal conversion of the value, which covers every double.

#include "core/common/numbers.h"

namespace tovira {

// The general text of a float written into out (at least kGeneralTextMax
// bytes, ASCII, not terminated); returns its length. Exact integer arithmetic
// on the float's bits: the seven digits rounded half to even as the library's
// conversion rounds them, several times faster. GeneralTextTo takes this path
// for every value a float holds.
int FloatTextTo(float value, char* out);

// GeneralTextTo through the library's decimal conversion, whatever the value.
int ConvertedGeneralTextTo(double value, char* out);

}  // namespace tovira
