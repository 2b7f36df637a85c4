// The one way to SSE2 intrinsics. Only files named *_sse2.cpp include
// this; the build compiles them only for targets with SSE2.
#pragma once

#if !SPANWRIGHT_HAVE_SSE2
#error "SSE2 code in a build without SSE2: only *_sse2.cpp files include isa/sse2.h"
#endif

#include <emmintrin.h>
