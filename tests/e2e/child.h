// Runs a program in a child process with a changed environment and working directory, and collects
// its exit status and output: the end-to-end tests judge the intro as a user would, by what the
// process does.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace e2e {

struct ChildResult {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;
  std::string err;
};

// Environment changes: a value sets the variable, a null entry (nullptr) removes it.
using EnvChanges = std::map<std::string, const char*>;

ChildResult run_child(const std::vector<std::string>& argv, const std::string& cwd,
                      const EnvChanges& env);

// A fresh, empty directory under the build tree, removed with its contents by the destructor.
class TempDir {
 public:
  explicit TempDir(const std::string& name);
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);

// The host program (VEK_HOST) headless on the virtual clock, without sound, from `cwd`, writing
// its timeline trace to `trace`.
ChildResult run_headless(const std::string& cwd, const std::string& trace,
                         const std::vector<std::string>& extra = {});

// One line of the timeline trace (VEK_TRACE): "<ms> <position, 8 hex digits> <event>".
struct Event {
  unsigned ms = 0;
  unsigned position = 0;
  std::string name;
};
// Every line of the trace file; a malformed line is a test failure.
std::vector<Event> read_trace(const std::string& path);

}  // namespace e2e
