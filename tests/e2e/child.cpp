// Child processes, scratch folders and trace files for the end-to-end tests.
#include "child.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace e2e {

Child::Child(const std::vector<std::string>& argv, const std::string& cwd, const EnvChanges& env,
             bool as_user)
    : output_("child-output") {
  const std::string out_path = output_.file("stdout"), err_path = output_.file("stderr");

  // Everything exec needs is prepared before fork, so the child only calls async-signal-safe
  // functions.
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    size_t eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const auto& [name, value] : env) {
    if (value)
      vars[name] = value;
    else
      vars.erase(name);
  }
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : vars) env_strings.push_back(name + "=" + value);
  std::vector<char*> envp, args;
  for (std::string& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  for (std::string& s : argv_copy) args.push_back(s.data());
  args.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    // Out of the bounding set, the capabilities are not regained by exec even as root; for anyone
    // else the calls fail harmlessly.
    if (as_user) {
      prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
      prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
    }
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(cwd.c_str()) != 0)
      _exit(127);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
}

Child::~Child() {
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
}

ChildResult Child::wait() {
  ChildResult result;
  int status = 0;
  if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  pid_ = -1;
  result.out = read_file(output_.file("stdout"));
  result.err = read_file(output_.file("stderr"));
  return result;
}

ChildResult run_child(const std::vector<std::string>& argv, const std::string& cwd,
                      const EnvChanges& env) {
  return Child(argv, cwd, env).wait();
}

TempDir::TempDir(const std::string& name) {
  std::string pattern = std::string(VEK_BINARY_DIR) + "/e2e-" + name + "-XXXXXX";
  if (char* made = mkdtemp(pattern.data())) path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> headless_argv(const std::string& trace,
                                       const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {VEK_HOST, "--headless", "--virtual-clock", "--trace", trace};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return argv;
}

ChildResult run_headless(const std::string& cwd, const std::string& trace,
                         const std::vector<std::string>& extra) {
  return run_child(headless_argv(trace, extra), cwd, {{"VEK_AUDIO", "none"}});
}

std::vector<Event> read_trace(const std::string& path) {
  std::vector<Event> events;
  std::istringstream lines(read_file(path));
  for (std::string line; std::getline(lines, line);) {
    Event e;
    int used = 0;
    if (std::sscanf(line.c_str(), "%u %8x %n", &e.ms, &e.position, &used) != 2 || used == 0) {
      ADD_FAILURE() << "malformed trace line: " << line;
      continue;
    }
    e.name = line.substr(used);
    events.push_back(e);
  }
  return events;
}

}  // namespace e2e
