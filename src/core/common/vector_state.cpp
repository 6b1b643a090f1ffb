#include "core/common/vector_state.h"

namespace tovira {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

__attribute__((target("avx"))) void ZeroUpper() { __builtin_ia32_vzeroupper(); }

const bool kHasAvx = __builtin_cpu_supports("avx");

}  // namespace

void ClearUpperVectorState() {
    if (kHasAvx) ZeroUpper();
}

#else

void ClearUpperVectorState() {}

#endif

}  // namespace tovira
