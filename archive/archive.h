// The read-only data archive "vek.bin": one flat namespace of member files, found by file name and
// extension only, read through one file handle.
//
// File layout (little-endian; F = the file's size in bytes):
//
//   [member data ...][N: u16][entry 0] ... [entry N-1][D: u32]["DATA"]
//                    ^ F - D                                   ^ F - 4
//
// Each entry is 21 bytes, laid out as in layout:: below; members and the directory are located by
// their distance from the end of the file.
#pragma once

#include <cstdint>
#include <cstdio>

namespace archive {

// On-disk layout, mirrored as offsets because the records are packed and read field by field.
namespace layout {
constexpr char kMagic[4] = {'D', 'A', 'T', 'A'};  // last four bytes; "data" is not an archive
constexpr uint32_t kTrailerSize = 8;              // directory distance D (u32), then the magic
constexpr uint32_t kCountSize = 2;                // entry count N (u16) at F - D; 0 is allowed
constexpr uint32_t kMaxCount = 0xFFFF;

// Directory entry, 21 bytes without padding.
constexpr uint32_t kNameOffset = 0;       // 13 bytes: file name with extension, zero-terminated
constexpr uint32_t kNameSize = 13;        // so at most 12 characters
constexpr uint32_t kDistanceOffset = 13;  // u32: the member's first byte is at F - distance
constexpr uint32_t kSizeOffset = 17;      // u32: the member's length in bytes
constexpr uint32_t kEntrySize = 21;
static_assert(kSizeOffset + 4 == kEntrySize, "entry fields must tile the 21-byte record");
}  // namespace layout

// One directory entry; the directory is a singly linked list of them in file order, each entry a
// heap block owned by its archive.
struct ArchiveEntry {
  char name[layout::kNameSize];  // always zero-terminated, even when the file's bytes were not
  uint32_t distance;
  uint32_t size;
  ArchiveEntry* next;
};

// The archive over one file. Lookups take a path of which only the file name and extension count:
// drive and directories (separated by '\' or '/') are dropped, and the key matches the first entry
// whose name begins with it, ASCII letters compared without regard to case ("train.3d" finds
// "train.3ds"; an empty key finds nothing).
//
// Sizes and positions are checked against the file: a directory that does not lie inside the file
// in front of the trailer, or an archive larger than 2 GiB, leaves the archive not ok; an entry
// whose member does not lie inside the file stays in the directory (it still shadows later matches)
// but every operation on it fails as if nothing had matched.
//
// One handle and one file position serve every member: use from one thread at a time, and seek
// before each read when interleaving members.
class DataArchive {
 public:
  explicit DataArchive(const char* path);
  ~DataArchive();
  DataArchive(const DataArchive&) = delete;
  DataArchive& operator=(const DataArchive&) = delete;

  // Closes the file and opens path in its place, as the constructor would: for tests and tools that
  // point the library's archive elsewhere. Not for use while a member is being read.
  void reopen(const char* path);

  // True when the file opened, its magic matched and its directory was read.
  bool ok() const { return ok_; }
  // The directory in file order; null when it is empty or the archive is not ok.
  const ArchiveEntry* first_entry() const { return first_; }

  // The entry a path names, or null. Unreadable entries are returned too (see readable()).
  const ArchiveEntry* find(const char* path) const;
  // True when the entry's member lies inside the file.
  bool readable(const ArchiveEntry& entry) const;

  // The member's size, or -1 when no member matches.
  int32_t member_size(const char* path) const;
  // Reads the member from its first byte: max_count bytes, or the whole member when max_count is 0
  // or larger than the member. Returns the bytes read, or -1 when no member matches.
  int32_t read_member(const char* path, void* buffer, uint32_t max_count);
  // read_member for an entry of this archive's directory, found by find() or by walking it.
  int32_t read_entry(const ArchiveEntry& entry, void* buffer, uint32_t max_count);
  // Moves the file position relative to the member: origin 0 and origin 1 both count from the
  // member's first byte (1 does not count from the current position), origin 2 from its end.
  // Returns the new absolute file position, or -1 (no match, another origin, a position before 0).
  int32_t seek_member(const char* path, int32_t offset, int origin);
  // Reads at the current file position; -1 on a read error or when the archive is not ok.
  int32_t read(void* buffer, uint32_t count);
  // A buffered read stream positioned at the member's first byte, or null. It reads through a
  // duplicate of the archive's handle (sharing its position), so the caller fcloses it without
  // closing the archive.
  std::FILE* open_stream(const char* path);
  // The archive's file handle positioned at the member's first byte, or -1.
  int seek_to_member(const char* path);

 private:
  void open(const char* path);
  bool read_directory();
  const ArchiveEntry* find_readable(const char* path) const;
  void close();

  int handle_ = -1;
  bool ok_ = false;
  ArchiveEntry* first_ = nullptr;
  uint32_t file_size_ = 0;
};

// The library's one archive over "vek.bin" in the current directory, opened on first use (the
// intro touches it from a static initializer, so that is at library load) and closed at unload.
// Tests that build their own "vek.bin" later call library_archive().reopen("vek.bin").
DataArchive& library_archive();

}  // namespace archive
