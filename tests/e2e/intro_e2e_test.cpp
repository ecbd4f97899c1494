// The intro end to end through the host program: headless on the virtual clock without an audio
// device, the timeline read back from its trace; the fatal paths and their exit statuses.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child.h"

namespace {

using e2e::Child;
using e2e::ChildResult;
using e2e::Event;
using e2e::read_trace;
using e2e::run_headless;
using e2e::EnvChanges;
using e2e::TempDir;

const std::string kHost = VEK_HOST;
const std::string kDataDir = std::string(VEK_BINARY_DIR) + "/data";

// One row of the module lasts 5 x 2.5 / 116 s.
constexpr double kRowMs = 5 * 2.5 / 116 * 1000;

// The timeline's own events ("T3 start", "fade end"), without the phase events of screens and scenes.
std::vector<std::string> step_events(const std::vector<Event>& events) {
  std::vector<std::string> out;
  for (const Event& e : events) {
    const std::string& n = e.name;
    bool step = n.size() > 2 && n[0] == 'T' && std::isdigit(static_cast<unsigned char>(n[1])) &&
                (n.substr(2) == " start" || n.substr(2) == " end");
    if (step || n == "fade end") out.push_back(n);
  }
  return out;
}

const Event* find(const std::vector<Event>& events, const std::string& name) {
  for (const Event& e : events)
    if (e.name == name) return &e;
  return nullptr;
}

bool has_files(const std::string& dir) {
  std::error_code ec;
  return std::filesystem::exists(dir, ec) && !std::filesystem::is_empty(dir, ec);
}

// Every step in order, the waits ending on their rows at their times, and the music fade between
// the final fade and the return.
void expect_complete_run(const std::vector<Event>& events) {
  const std::vector<std::string> expected = {
      "T1 start", "T1 end", "T2 start", "T2 end", "T3 start", "T3 end", "T4 start", "T4 end",
      "T5 start", "T5 end", "T6 start", "T6 end", "T7 start", "T7 end", "fade end"};
  ASSERT_EQ(step_events(events), expected);

  // The music starts with the run, so the clock time of a row is its count times the row length.
  // A wait whose row has already passed when it starts (the logo's fade-out may run past order 1,
  // row 55) ends at once.
  struct Wait {
    const char* step;
    unsigned position;
    int rows;
  };
  for (const Wait& w : {Wait{"T2", 0x10037, 64 + 55}, Wait{"T5", 0x70037, 7 * 64 + 55}}) {
    SCOPED_TRACE(w.step);
    const Event* start = find(events, std::string(w.step) + " start");
    const Event* end = find(events, std::string(w.step) + " end");
    if (start->position >= w.position) {
      EXPECT_EQ(end->ms, start->ms);
      continue;
    }
    EXPECT_EQ(end->position, w.position);
    EXPECT_NEAR(end->ms, w.rows * kRowMs, kRowMs);
  }
  EXPECT_GE(find(events, "T1 end")->position, 0x10028u);
  for (size_t i = 1; i < events.size(); ++i)
    EXPECT_GE(events[i].ms, events[i - 1].ms) << events[i].name;
  // The fade slides the volume over time while the main thread polls every 100 ms.
  EXPECT_GE(events.back().ms, find(events, "T7 end")->ms + 300);
}

// Names, sizes, times and modes of a folder and everything in it: creating and deleting a file in
// the folder changes the folder's own modification time, so even a file written and removed again
// shows.
std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> entries;
  auto describe = [](const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return std::string("unreadable");
    std::ostringstream text;
    text << std::oct << st.st_mode << std::dec << " " << st.st_size << " " << st.st_mtim.tv_sec
         << "." << st.st_mtim.tv_nsec;
    return text.str();
  };
  entries["."] = describe(dir);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    entries[entry.path().string()] = describe(entry.path().string());
  return entries;
}

// A folder with its own copy of the generated archive, as an installation has.
void copy_archive(const TempDir& folder) {
  std::filesystem::copy_file(kDataDir + "/vek.bin", folder.file("vek.bin"));
}

// Whole intros share nothing on disk: started at once from one folder, each plays the whole
// timeline, and the folder is left exactly as it was.
TEST(Timeline, FourRunsAtOnceFromOneFolderEachPlayItAllAndLeaveTheFolderAsFound) {
  TempDir folder("shared"), traces("traces");
  copy_archive(folder);
  const auto before = snapshot(folder.path());
  std::vector<std::unique_ptr<Child>> runs;
  for (int i = 0; i < 4; ++i)
    runs.push_back(std::make_unique<Child>(
        e2e::headless_argv(traces.file("trace" + std::to_string(i))), folder.path(),
        EnvChanges{{"VEK_AUDIO", "none"}}));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("run " + std::to_string(i));
    ChildResult run = runs[i]->wait();
    ASSERT_EQ(run.status, 0) << run.err;
    expect_complete_run(read_trace(traces.file("trace" + std::to_string(i))));
  }
  EXPECT_EQ(snapshot(folder.path()), before);
}

// An installation under /usr/share cannot be written to by its users.
TEST(Timeline, ARunFromAReadOnlyFolderPlaysToTheEnd) {
  TempDir folder("read-only"), scratch("read-only-trace");
  copy_archive(folder);
  ASSERT_EQ(chmod(folder.path().c_str(), 0555), 0);
  ChildResult run = Child(e2e::headless_argv(scratch.file("trace")), folder.path(),
                          {{"VEK_AUDIO", "none"}}, true)
                        .wait();
  chmod(folder.path().c_str(), 0755);
  ASSERT_EQ(run.status, 0) << run.err;
  expect_complete_run(read_trace(scratch.file("trace")));
}

// The wait before the hut does not look at the keyboard: a key pressed during it stays queued, the
// wait still ends on order 7, row 55 (row 503, at 54202.6 ms), and the hut scene then ends before
// its first frame.
TEST(Timeline, AKeyDuringTheWaitBeforeTheHutEndsTheHutAtItsFirstFrame) {
  TempDir scratch("key-in-wait");
  ChildResult run = run_headless(kDataDir, scratch.file("trace"), {"--keys", "53000:27"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<Event> events = read_trace(scratch.file("trace"));
  const Event* wait_start = find(events, "T5 start");
  const Event* wait_end = find(events, "T5 end");
  const Event* hut_end = find(events, "scene end hut2.3ds 0 key");
  ASSERT_TRUE(wait_start && wait_end && hut_end);
  EXPECT_LT(wait_start->ms, 53000u);
  EXPECT_EQ(wait_end->ms, 54203u);
  EXPECT_EQ(wait_end->position, 0x70037u);
  EXPECT_EQ(hut_end->ms, wait_end->ms);
  EXPECT_EQ(step_events(events).back(), "fade end");
}

TEST(FatalPaths, MissingOrBrokenArchiveEndsWithStatus1BeforeAnyWindow) {
  // "not an archive": a file too short for the trailer, and one whose magic is wrong.
  const std::vector<std::string> contents = {"", "DAT", std::string(16, '\0') + "ATAD"};
  for (size_t i = 0; i <= contents.size(); ++i) {
    TempDir dir("archive");
    if (i < contents.size()) {
      std::FILE* f = std::fopen(dir.file("vek.bin").c_str(), "wb");
      ASSERT_TRUE(f);
      std::fwrite(contents[i].data(), 1, contents[i].size(), f);
      std::fclose(f);
    }
    ChildResult run = run_headless(dir.path(), dir.file("trace"),
                                   {"--capture", dir.file("capture")});
    SCOPED_TRACE(i < contents.size() ? "vek.bin of " + std::to_string(contents[i].size()) + " bytes"
                                     : "no vek.bin");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Glimmerfrost intro"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("I need file 'VEK.BIN' to run properly!"), std::string::npos) << run.err;
    EXPECT_FALSE(has_files(dir.file("capture"))) << "frames were presented";
    EXPECT_TRUE(read_trace(dir.file("trace")).empty());
  }
}

TEST(FatalPaths, NoDisplayBackEndEndsWithStatus1) {
  TempDir scratch("nodisplay");
  // No headless request and no display server: the window back end cannot open, and the
  // placeholders never do.
  ChildResult run = e2e::run_child({kHost, "--virtual-clock", "--trace", scratch.file("trace")},
                                   kDataDir,
                                   {{"VEK_CONSOLE", nullptr},
                                    {"DISPLAY", nullptr},
                                    {"WAYLAND_DISPLAY", nullptr},
                                    {"SDL_VIDEODRIVER", "x11"},
                                    {"VEK_AUDIO", "none"}});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("could not initialize - vesa 2.0 16/24/32bpp linear mode!"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(read_trace(scratch.file("trace")).empty());
}

TEST(Window, CarriesTheTitleAndClosingItEndsTheRunWithStatus0) {
  // A real SDL window on a virtual X server of its own, on the real clock so the run is still going
  // when the window is closed. The X and D-Bus libraries keep allocations until exit, some in modules
  // already unloaded, so leak checking is left to the headless runs.
  ChildResult run = e2e::run_child(
      {VEK_WITH_XVFB, "-screen", "0", "640x480x24", "--", VEK_CLOSE_WINDOW, "KARST 3DEngine v2",
       "60", kHost},
      kDataDir,
      {{"VEK_CONSOLE", nullptr}, {"VEK_CLOCK", nullptr}, {"SDL_VIDEODRIVER", nullptr},
       {"VEK_AUDIO", "none"}, {"ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1"}});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("title: KARST 3DEngine v2\n"), std::string::npos) << run.out << run.err;
  EXPECT_NE(run.out.find("status: 0\n"), std::string::npos) << run.out << run.err;
}

TEST(Library, ExportsOnlyStartVekIntro) {
  ChildResult nm = e2e::run_child({"/usr/bin/nm", "-D", "--defined-only", VEK_LIBRARY}, kDataDir, {});
  ASSERT_EQ(nm.status, 0) << nm.err;
  std::vector<std::string> symbols;
  std::istringstream lines(nm.out);
  for (std::string address, type, name; lines >> address >> type >> name;) {
    // The linker's own section markers are in every shared library.
    if (name != "_edata" && name != "_end" && name != "__bss_start") symbols.push_back(name);
  }
  EXPECT_EQ(symbols, std::vector<std::string>{"StartVekIntro"});
}

// Whether a second call of the export plays again is the library's to decide: it does, from a
// fresh abort flag and with a fade that it waits for again.
TEST(Library, ASecondCallPlaysTheWholeIntroAfterAnAbortedFirst) {
  TempDir scratch("twice");
  const std::string first = scratch.file("first"), second = scratch.file("second");
  pid_t child = fork();
  if (child == 0) {
    // The library opens vek.bin from the current directory when it is loaded.
    if (chdir(kDataDir.c_str()) != 0) _exit(10);
    setenv("VEK_CONSOLE", "headless", 1);
    setenv("VEK_KEYS", "2000:27", 1);
    setenv("VEK_TRACE", first.c_str(), 1);
    void* library = dlopen(VEK_LIBRARY, RTLD_NOW);
    auto start = library ? reinterpret_cast<int (*)(int)>(dlsym(library, "StartVekIntro")) : nullptr;
    if (!start || start(0) != 1) _exit(11);
    unsetenv("VEK_KEYS");
    setenv("VEK_TRACE", second.c_str(), 1);
    _exit(start(0) == 1 ? 0 : 12);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  const std::vector<std::string> aborted = {"T1 start", "T1 end", "T7 start", "T7 end", "fade end"};
  EXPECT_EQ(step_events(read_trace(first)), aborted);
  expect_complete_run(read_trace(second));
}

TEST(Host, RejectsBadInvocationsWithItsOwnStatuses) {
  ChildResult help = e2e::run_child({kHost, "--help"}, kDataDir, {});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--headless", "--capture", "--fullscreen", "--virtual-clock", "--keys",
                             "--trace", "--data", "--library", "--help"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;

  ChildResult unknown = e2e::run_child({kHost, "--bogus"}, kDataDir, {});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--bogus"), std::string::npos);
  ChildResult missing_value = e2e::run_child({kHost, "--trace"}, kDataDir, {});
  EXPECT_EQ(missing_value.status, 2);

  ChildResult no_library =
      e2e::run_child({kHost, "--library", kDataDir + "/no-such-library.so"}, kDataDir, {});
  EXPECT_EQ(no_library.status, 3);
  EXPECT_NE(no_library.err.find("no-such-library.so"), std::string::npos) << no_library.err;

  TempDir empty("no-data");
  ChildResult no_data = e2e::run_child({kHost, "--data", empty.path()}, kDataDir, {});
  EXPECT_EQ(no_data.status, 1);
  EXPECT_NE(no_data.err.find("--data " + empty.path() + ": no vek.bin"), std::string::npos)
      << no_data.err;
}

// The host runs in the folder of vek.bin: the current folder's, else the one beside the host, else
// the one --data names; paths on its command line still mean what they meant where it started.
TEST(Host, FindsItsDataInTheCurrentFolderBesideItselfOrWhereDataSays) {
  TempDir installed("beside"), elsewhere("elsewhere");
  for (const std::string& file : {kHost, std::string(VEK_LIBRARY), kDataDir + "/vek.bin"})
    std::filesystem::copy_file(file, installed.file(std::filesystem::path(file).filename()));
  const std::string host_copy = installed.file("vekintro");
  const std::vector<std::string> quick = {"--headless", "--virtual-clock", "--keys", "100:27",
                                          "--trace", "trace"};
  auto played = [&](const ChildResult& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<Event> events = read_trace(elsewhere.file("trace"));
    EXPECT_FALSE(events.empty() || events.back().name != "fade end");
    std::filesystem::remove(elsewhere.file("trace"));
  };
  {
    SCOPED_TRACE("beside the host");
    std::vector<std::string> argv = {host_copy};
    argv.insert(argv.end(), quick.begin(), quick.end());
    played(e2e::run_child(argv, elsewhere.path(), {{"VEK_AUDIO", "none"}}));
  }
  {
    SCOPED_TRACE("--data");
    std::vector<std::string> argv = {kHost, "--data", kDataDir};
    argv.insert(argv.end(), quick.begin(), quick.end());
    played(e2e::run_child(argv, elsewhere.path(), {{"VEK_AUDIO", "none"}}));
  }
  {
    SCOPED_TRACE("the current folder comes first: its vek.bin is not an archive");
    std::FILE* broken = std::fopen(elsewhere.file("vek.bin").c_str(), "wb");
    ASSERT_TRUE(broken);
    std::fputs("DAT", broken);
    std::fclose(broken);
    std::vector<std::string> argv = {host_copy};
    argv.insert(argv.end(), quick.begin(), quick.end());
    ChildResult run = e2e::run_child(argv, elsewhere.path(), {{"VEK_AUDIO", "none"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("I need file 'VEK.BIN'"), std::string::npos) << run.err;
  }
}

}  // namespace
