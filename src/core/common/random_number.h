#pragma once
// The random number that keeps a provider's answer out of caches: every
// request of a picture or an estimate carries a fresh one in its URL.

namespace tovira {

// Int(r * (a - b + 1) + b) with r a single-precision uniform number in [0, 1),
// reseeded from the clock on every call. Called with 100000000 and 999999999
// it gives a nine-digit number.
double RandomInteger(int a, int b);

}  // namespace tovira
