// The timeline trace: with VEK_TRACE=FILE every timeline event becomes one line of FILE,
//   <clock ms since the run started> <music position, 8 hex digits> <event>
// for example "12823 00010037 T2 end", so the sync of pictures and scenes with the music can be read
// off a run. Screens and scenes add their own phase events through trace_event.
#pragma once

namespace intro {

// Opens the file named by VEK_TRACE (no trace when unset or empty) and takes the current clock time
// as the origin of the trace's times. A trace still open from an earlier run is closed first.
void trace_open();
void trace_close();

// Appends one event at the current clock time and music position; does nothing without a trace.
// Each line is flushed at once, so a run that ends on a fatal path keeps every event before it.
void trace_event(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace intro
