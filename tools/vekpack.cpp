// vekpack: creates, lists and extracts "vek.bin" data archives.
#include "archive/archive.h"
#include "archive/writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: vekpack create OUT.bin FILE...\n"
    "       vekpack list ARCHIVE\n"
    "       vekpack extract ARCHIVE [MEMBER...] [-C DIR]\n"
    "       vekpack --help\n"
    "\n"
    "create   packs the files into a new archive; each member is named by its file's name with\n"
    "         extension (at most 12 characters, unique without regard to case)\n"
    "list     prints each member's name and size in bytes, in directory order\n"
    "extract  writes the named members (all when none are named) into DIR, or the current\n"
    "         directory; members are found as the intro finds them, by file name and extension\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "vekpack: %s\n", message.c_str());
  return 1;
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "vekpack: %s\n%s", message.c_str(), kUsage);
  return 1;
}

// The file name with extension of a path, either separator counting.
std::string file_name_of(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int create(const std::string& out, const std::vector<std::string>& files) {
  if (files.empty()) return usage_error("create needs at least one file");
  std::vector<archive::MemberFile> members;
  for (const std::string& file : files) {
    std::string name = file_name_of(file);
    std::string problem = archive::check_member_name(name);
    if (!problem.empty()) return fail(file + ": " + problem);
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return fail(file + ": not a readable file");
    uintmax_t size = fs::file_size(file, error);
    if (error) return fail(file + ": not a readable file");
    std::vector<uint8_t> bytes(size);
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
      return fail(file + ": cannot read");
    }
    members.push_back({name, std::move(bytes)});
  }
  std::string problem = archive::write_archive(out, members);
  return problem.empty() ? 0 : fail(problem);
}

int not_an_archive(const std::string& path) {
  return fail(path + ": " +
              (fs::exists(path) ? "not an archive, or its directory is damaged" : "no such file"));
}

int list(const std::string& path) {
  archive::DataArchive archive(path.c_str());
  if (!archive.ok()) return not_an_archive(path);
  for (const archive::ArchiveEntry* e = archive.first_entry(); e != nullptr; e = e->next) {
    std::printf("%-12s %10u%s\n", e->name, e->size,
                archive.readable(*e) ? "" : "  (lies outside the file)");
  }
  return 0;
}

// Writes one entry to dir under its stored name. Names come from the file, so one that could
// leave dir is refused rather than trusted.
bool extract_entry(archive::DataArchive& archive, const archive::ArchiveEntry& entry,
                   const fs::path& dir) {
  std::string name = entry.name;
  if (!archive::check_member_name(name).empty() || name == "." || name == "..") {
    fail("member \"" + name + "\" has a name that is not a plain file name; not extracted");
    return false;
  }
  if (!archive.readable(entry)) {
    fail("member \"" + name + "\" lies outside the archive file");
    return false;
  }
  std::vector<uint8_t> bytes(entry.size);
  if (archive.read_entry(entry, bytes.data(), entry.size) != static_cast<int32_t>(entry.size)) {
    fail("member \"" + name + "\" cannot be read");
    return false;
  }
  fs::path out = dir / name;
  std::ofstream file(out, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    fail("cannot write " + out.string());
    return false;
  }
  return true;
}

int extract(const std::string& path, const std::vector<std::string>& wanted, const fs::path& dir) {
  archive::DataArchive archive(path.c_str());
  if (!archive.ok()) return not_an_archive(path);
  std::error_code error;
  fs::create_directories(dir, error);
  if (!fs::is_directory(dir, error)) return fail("cannot create directory " + dir.string());
  bool ok = true;
  if (wanted.empty()) {
    for (const archive::ArchiveEntry* e = archive.first_entry(); e != nullptr; e = e->next) {
      ok = extract_entry(archive, *e, dir) && ok;
    }
  }
  for (const std::string& member : wanted) {
    const archive::ArchiveEntry* entry = archive.find(member.c_str());
    if (entry == nullptr) {
      fail("no member matches \"" + member + "\"");
      ok = false;
      continue;
    }
    ok = extract_entry(archive, *entry, dir) && ok;
  }
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (args.size() < 2) return usage_error(args.empty() ? "no command given" : "missing ARCHIVE");
  const std::string command = args[0];
  const std::string archive_path = args[1];
  std::vector<std::string> rest(args.begin() + 2, args.end());

  if (command == "create") return create(archive_path, rest);
  if (command == "list") {
    return rest.empty() ? list(archive_path) : usage_error("list takes only ARCHIVE");
  }
  if (command == "extract") {
    fs::path dir = ".";
    std::vector<std::string> members;
    for (size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] != "-C") {
        members.push_back(rest[i]);
      } else if (i + 1 < rest.size()) {
        dir = rest[++i];
      } else {
        return usage_error("-C needs a directory");
      }
    }
    return extract(archive_path, members, dir);
  }
  return usage_error("unknown command \"" + command + "\"");
}
