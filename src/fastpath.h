// Fast and plain routines.
//
// Every inner loop with a fast version keeps a plain one beside it. The
// plain routine is the reference, written one pixel at a time for
// clarity; the fast routine must write exactly the same bytes, and the
// tests hold every fast routine against its plain twin. A family of
// routines is a table with one row per case naming the case's plain
// routine and its fast routine (null where the case has no fast version);
// callers take a row's routine once per call (or per polygon) through
// pickRoutine, never per pixel.
//
// Which column runs is one switch for the whole library:
//  - plain when the environment variable SPANWRIGHT_PLAIN_ROUTINES is set
//    to anything but "0" (read once, at the first question), so that one
//    binary can be run both ways and must give the same results;
//  - setPlainRoutines overrides the environment (tests, benchmarks);
//  - a build configured with SPANWRIGHT_GENERIC_ONLY runs the plain
//    routines only, and compiles no instruction-set-specific file at all.
//
// Code for one instruction set lives in files of its own, named after it
// (copy_sse2.cpp), which the build compiles only for targets that have it;
// they reach its intrinsics through isa/<name>.h. A table names such a
// routine through SSE2_ROUTINE, which is null where the build has none.
#pragma once

#include <cstdint>

// -1 until the environment has been read, then 0 (fast) or 1 (plain).
extern int8_t plainRoutineSetting;
bool readPlainRoutineSetting();

inline bool plainRoutines() {
#if SPANWRIGHT_GENERIC_ONLY
    return true;
#else
    return plainRoutineSetting >= 0 ? plainRoutineSetting != 0 : readPlainRoutineSetting();
#endif
}

// Forces the plain (true) or the fast (false) routines from now on.
void setPlainRoutines(bool plain);

template <class Routine>
struct RoutinePair {
    Routine plain;
    Routine fast; // null: the plain routine serves both columns
};

template <class Routine>
inline Routine pickRoutine(const RoutinePair<Routine>& pair) {
    return pair.fast && !plainRoutines() ? pair.fast : pair.plain;
}

#if SPANWRIGHT_HAVE_SSE2
#define SSE2_ROUTINE(routine) (&(routine))
#else
#define SSE2_ROUTINE(routine) nullptr
#endif
