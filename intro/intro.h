// The intro's main sequence, called by the library's export.
#pragma once

namespace intro {

// Plays the whole intro on the caller's thread: checks the archive, opens the console, creates the
// frame surfaces, starts the music, walks the timeline, fades the music out and closes everything.
// Returns 0 after a complete or aborted run and 1 when a frame surface could not be created. A
// missing archive or display ends the process with status 1 instead.
int RunIntro();

}  // namespace intro
