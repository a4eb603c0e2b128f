#pragma once

#include <cstddef>

// Live heap bytes of this process, counted by wrapping malloc and friends (heapmeter.cpp is
// linked into bench programs only). Peak since the last ResetHeapPeak(). Always 0 in a build
// with AddressSanitizer, which keeps malloc to itself.
std::size_t HeapInUse();
std::size_t HeapPeak();
void ResetHeapPeak();
