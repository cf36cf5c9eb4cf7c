#pragma once

namespace vornix7 {

// Standard output passes bytes through unchanged: on Windows it is put in
// binary mode, so a CR LF line end stays CR LF (text mode would write CR CR
// LF); elsewhere it already does.
void PutStandardOutputInBinaryMode();

} // namespace vornix7
