// Writing archives in the format that DataArchive reads: the asset builder and vekpack use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

struct MemberFile {
  std::string name;  // file name with extension, at most 12 characters, no directory part
  std::vector<uint8_t> bytes;
};

// Why name cannot be a member name (empty string when it can): empty, longer than 12 characters,
// or holding a drive or directory part.
std::string check_member_name(const std::string& name);

// Writes members to path, in the given order, as a complete archive. Refuses bad names, names
// equal without regard to case, a name that begins another (a lookup could find the wrong one),
// more than 65535 members and archives too large to address. Returns an empty string
// on success, otherwise the reason; a failed write leaves no file behind.
std::string write_archive(const std::string& path, const std::vector<MemberFile>& members);

}  // namespace archive
