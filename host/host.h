// What the host program does differently on each platform: its options, where it and the intro
// library lie, and how the library is loaded and its export called (posix.cpp, win32/host.cpp).
#pragma once

#include <cstddef>
#include <string>

namespace host {

// Exit statuses of the host itself; the intro's fatal paths end the process with their own
// (1 or 0). A --data folder without vek.bin gives 1, as the intro does for a missing archive.
constexpr int kPlayed = 0;
constexpr int kNoArchive = 1;
constexpr int kUsageError = 2;
constexpr int kLoadError = 3;
constexpr int kIntroFailed = 4;

// One option: either it sets an environment variable (to a fixed value, or to its argument when
// `value` is null), or it is the host's own (`variable` null: --library, --data).
struct Option {
  const char* name;
  const char* argument;  // shown in the usage text; null for a switch
  const char* variable;
  const char* value;
  const char* help;
  // The argument names a file or folder: it is made absolute before the host changes folder.
  bool path = false;
};

struct OptionList {
  const Option* begin() const { return first; }
  const Option* end() const { return first + count; }
  const Option* first;
  size_t count;
};

OptionList options();
void set_variable(const char* name, const char* value);
// The folder holding the running executable, or empty when the system does not say.
std::string executable_folder();
// The library beside the executable, or in the installed library folder next to it, so the host
// works from any current directory.
std::string default_library_path();
// Loads the library, calls its export with 0 and returns the host's exit status. The library stays
// loaded until the process ends, so its archive is closed by the exit routines exactly as on the
// intro's own fatal paths.
int play(const std::string& library);

}  // namespace host
