// The intro library's one export, and the archive that loading the library opens.
#include "archive/archive.h"
#include "intro/intro.h"
#include "intro/trace.h"
#include "platform/platform.h"

namespace {

// Opens "vek.bin" in the host's current directory when the library is loaded, before any call of
// the export; the archive is closed by the exit routines or when the library is unloaded.
[[maybe_unused]] const bool archive_opened = (archive::library_archive(), true);

}  // namespace

// The argument is not used. Returns 1 when the intro has ended, whatever the run reported; the fatal
// paths end the process instead of returning.
extern "C" __attribute__((visibility("default"))) int StartVekIntro(int) {
  // Trace times count from this call.
  platform::clock_reset();
  intro::trace_open();
  intro::RunIntro();
  intro::trace_close();
  return 1;
}
