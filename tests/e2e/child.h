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

// A fresh, empty directory under the build tree, removed with its contents by the destructor.
class TempDir {
 public:
  explicit TempDir(const std::string& name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A program started in a child process; wait() collects it. With `as_user`, the child gives up the
// capabilities that let root write into folders without write permission, so a read-only folder
// is read-only to it whoever runs the tests.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::string& cwd, const EnvChanges& env,
        bool as_user = false);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ChildResult wait();

 private:
  TempDir output_;
  int pid_ = -1;
};

ChildResult run_child(const std::vector<std::string>& argv, const std::string& cwd,
                      const EnvChanges& env);

std::string read_file(const std::string& path);

// The command line of the host program (VEK_HOST) headless on the virtual clock, writing its
// timeline trace to `trace`; run_headless runs it without sound from `cwd`.
std::vector<std::string> headless_argv(const std::string& trace,
                                       const std::vector<std::string>& extra = {});
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
