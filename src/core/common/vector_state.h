#pragma once
// The vector registers' state before a long run of arithmetic.

namespace tovira {

// Clears the upper halves of the vector registers on processors that have
// them (AVX and later); does nothing elsewhere. Library code using 256- and
// 512-bit instructions (the string conversions of Qt, for one) can leave
// them dirty, and then every 128-bit instruction of our arithmetic pays for
// a merge and the C library's exp stalls on it: the parameter search ran
// 1.7 times slower on the thread that had read the plan. Call it where such
// a run starts; it costs a few cycles.
void ClearUpperVectorState();

}  // namespace tovira
