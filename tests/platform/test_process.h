#pragma once

#include <string>

namespace vornix7::test {

// What the transfer tests ask of their own process, on each system.

// Peak resident memory (peak working set on Windows) in kB; -1 if unknown.
long PeakResidentKb();

// Open descriptors (handles on Windows) of this process; -1 if unknown.
int OpenHandles();

// Sets or removes an environment variable for this process and the
// libraries in it.
void SetEnvironment(const char* name, const std::string& value);
void UnsetEnvironment(const char* name);

// Whether a connection reset that follows data may reach the program as an
// orderly end. True under Wine, whose recv returns 0 there instead of
// WSAECONNRESET; false on Linux and on Windows itself.
bool ResetCanReadAsOrderlyEnd();

} // namespace vornix7::test
