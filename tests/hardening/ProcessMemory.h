#pragma once

#include <cstdint>

namespace fotoshuttle::testing {

// Resets the process's peak resident size (VmHWM) to its current size; false when the
// kernel does not offer that.
bool ResetPeakResidentBytes();
// Peak resident size since the last reset (or the start), and the current one, in bytes.
std::uint64_t PeakResidentBytes();
std::uint64_t ResidentBytes();
// Number of open file descriptors of the process.
int OpenFileCount();
// True when the tests run under a sanitizer (set by scripts/test-sanitizers), which makes
// memory figures and run times meaningless as absolute limits.
bool UnderSanitizer();

}  // namespace fotoshuttle::testing
