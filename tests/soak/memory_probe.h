#pragma once

#include <cstdint>

namespace vornix7::soak {

// Resident set size (VmRSS of /proc/self/status) in KiB; -1 if unreadable.
std::int64_t ResidentKiB();

// Bytes currently allocated on the heap and not yet freed, as the allocator
// counts them. Under AddressSanitizer the resident size mostly shows its
// quarantine of freed blocks, so this is the figure that still reveals
// growth there.
std::int64_t LiveHeapBytes();

// Whether the resident size is the program's own: under AddressSanitizer
// (quarantine, shadow memory) or valgrind (its own heap and translations)
// it grows for reasons of the tool.
bool ResidentSizeIsProgramOwn();

} // namespace vornix7::soak
