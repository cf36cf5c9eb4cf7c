#pragma once

namespace vornix7 {

// Standard output passes bytes through unchanged: on Windows it is put in
// binary mode, so a CR LF line end stays CR LF (text mode would write CR CR
// LF); elsewhere it already does.
void PutStandardOutputInBinaryMode();

// Called first in main, before anything opens a file, a pipe or a socket,
// by each program that writes the log or status lines. Notes which
// descriptors the program was given, then puts /dev/null on each of
// standard input, output and error that was closed, so that no file, pipe
// or socket the program opens later (libcurl's, Qt's, the log's) can take
// that number and receive what is meant for the closed stream. Windows:
// nothing to do, as a standard handle is never a number the program's own
// handles take.
void HoldStandardStreams();

// Whether descriptor `fd` was open when the program started, and so is
// something its starter gave it (not the /dev/null HoldStandardStreams put
// in place of a closed one, nor anything the program opened itself).
// Without HoldStandardStreams (a test program) every descriptor counts as
// given.
bool WasGivenAtStartUp(int fd);

} // namespace vornix7
