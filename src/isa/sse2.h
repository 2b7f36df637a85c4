// The one way to SSE2 intrinsics. Only files named *_sse2.cpp include
// this; the build compiles them only for targets with SSE2, or, on other
// processors, through SIMDe, which provides the same intrinsics (same
// names and types, same results) on the processor's own vector unit.
#pragma once

#if !SPANWRIGHT_HAVE_SSE2
#error "SSE2 code in a build without SSE2: only *_sse2.cpp files include isa/sse2.h"
#endif

#if SPANWRIGHT_SSE2_SIMDE
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/sse2.h>
#else
#include <emmintrin.h>
#endif
