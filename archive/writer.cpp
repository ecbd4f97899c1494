// Archive writer: members first, then the directory, then the trailer that points back to it.
#include "archive/writer.h"

#include "archive/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace archive {
namespace {

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

std::string folded(const std::string& name) {
  std::string out = name;
  for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// Lookups match a key against the beginning of each stored name, so a name that begins another
// could be found in its place. Sorted, such a pair (or a duplicate) lies side by side.
std::string check_name_clashes(const std::vector<MemberFile>& members) {
  std::vector<std::pair<std::string, const std::string*>> names;
  for (const MemberFile& member : members) names.emplace_back(folded(member.name), &member.name);
  std::sort(names.begin(), names.end());
  for (size_t i = 1; i < names.size(); ++i) {
    const std::string& shorter = names[i - 1].first;
    if (names[i].first.compare(0, shorter.size(), shorter) != 0) continue;
    if (names[i].first.size() == shorter.size()) {
      return "duplicate member name \"" + *names[i].second + "\" (case does not count)";
    }
    return "member name \"" + *names[i - 1].second + "\" is the start of \"" + *names[i].second +
           "\": a lookup of it could find the other";
  }
  return "";
}

// Directory and trailer for members laid out from offset 0 in order, in a file of file_size bytes.
std::vector<uint8_t> directory_of(const std::vector<MemberFile>& members, uint32_t file_size) {
  std::vector<uint8_t> out;
  put_u16(out, static_cast<uint32_t>(members.size()));
  uint32_t offset = 0;
  for (const MemberFile& member : members) {
    char name[layout::kNameSize] = {};
    std::memcpy(name, member.name.data(), member.name.size());
    out.insert(out.end(), name, name + layout::kNameSize);
    put_u32(out, file_size - offset);
    put_u32(out, static_cast<uint32_t>(member.bytes.size()));
    offset += static_cast<uint32_t>(member.bytes.size());
  }
  put_u32(out, static_cast<uint32_t>(out.size()) + layout::kTrailerSize);
  out.insert(out.end(), layout::kMagic, layout::kMagic + 4);
  return out;
}

}  // namespace

std::string check_member_name(const std::string& name) {
  if (name.empty()) return "member name is empty";
  if (name.size() > layout::kNameSize - 1) {
    return "member name \"" + name + "\" is longer than 12 characters";
  }
  if (name.find_first_of("\\/:") != std::string::npos || name.find('\0') != std::string::npos) {
    return "member name \"" + name + "\" is not a plain file name";
  }
  return "";
}

std::string write_archive(const std::string& path, const std::vector<MemberFile>& members) {
  if (members.size() > layout::kMaxCount) return "more than 65535 members";
  uint64_t file_size =
      layout::kCountSize + layout::kTrailerSize + uint64_t{layout::kEntrySize} * members.size();
  for (const MemberFile& member : members) {
    std::string problem = check_member_name(member.name);
    if (!problem.empty()) return problem;
    file_size += member.bytes.size();
  }
  std::string clash = check_name_clashes(members);
  if (!clash.empty()) return clash;
  if (file_size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return "archive would be larger than 2 GiB";
  }

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return "cannot create " + path + ": " + std::strerror(errno);
  bool written = true;
  for (const MemberFile& member : members) {
    written =
        written && (member.bytes.empty() || std::fwrite(member.bytes.data(), 1, member.bytes.size(),
                                                        file) == member.bytes.size());
  }
  std::vector<uint8_t> tail = directory_of(members, static_cast<uint32_t>(file_size));
  written = written && std::fwrite(tail.data(), 1, tail.size(), file) == tail.size();
  written = std::fclose(file) == 0 && written;
  if (!written) {
    std::remove(path.c_str());
    return "cannot write " + path;
  }
  return "";
}

}  // namespace archive
