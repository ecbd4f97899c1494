// The data archive: directory reading at open, name lookup, and member reads through one handle.
#include "archive/archive.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <limits>
#include <memory>
#include <new>

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace archive {
namespace {

uint16_t read_u16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t read_u32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads until count bytes have arrived, the file ends or an error occurs; -1 only for an error
// before any byte arrived.
int32_t read_fully(int handle, void* buffer, uint32_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  uint32_t done = 0;
  while (done < count) {
    ssize_t got = ::read(handle, out + done, count - done);
    if (got < 0) return done > 0 ? static_cast<int32_t>(done) : -1;
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return static_cast<int32_t>(done);
}

bool read_at(int handle, uint32_t position, void* buffer, uint32_t count) {
  return ::lseek(handle, position, SEEK_SET) == static_cast<off_t>(position) &&
         read_fully(handle, buffer, count) == static_cast<int32_t>(count);
}

// The lookup key: the path's file name and extension, after any drive and directories.
const char* key_of(const char* path) {
  const char* key = path;
  if (key[0] != '\0' && key[1] == ':') key += 2;
  for (const char* p = key; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') key = p + 1;
  }
  return key;
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when name begins with key, letters compared without case. The name is zero-terminated, so
// a key longer than it stops at a mismatch on its terminator.
bool name_matches(const char* name, const char* key) {
  for (size_t i = 0; key[i] != '\0'; ++i) {
    if (fold(name[i]) != fold(key[i])) return false;
  }
  return true;
}

}  // namespace

DataArchive::DataArchive(const char* path) { open(path); }

DataArchive::~DataArchive() { close(); }

void DataArchive::reopen(const char* path) {
  close();
  open(path);
}

void DataArchive::open(const char* path) {
  handle_ = ::open(path, O_RDONLY | O_BINARY);
  if (handle_ < 0) return;
  off_t end = ::lseek(handle_, 0, SEEK_END);
  unsigned char magic[4];
  // Distances are 32-bit and results signed 32-bit, so a larger file cannot be addressed whole.
  bool usable =
      end >= static_cast<off_t>(layout::kTrailerSize) && end <= std::numeric_limits<int32_t>::max();
  if (usable) {
    file_size_ = static_cast<uint32_t>(end);
    usable = read_at(handle_, file_size_ - 4, magic, 4) &&
             std::memcmp(magic, layout::kMagic, 4) == 0 && read_directory();
  }
  if (!usable) {
    close();
    return;
  }
  ok_ = true;
}

// Reads the directory into the entry list. The whole directory must lie in front of the trailer;
// the count is checked against that room before anything is allocated.
bool DataArchive::read_directory() {
  unsigned char word[4];
  if (!read_at(handle_, file_size_ - layout::kTrailerSize, word, 4)) return false;
  uint32_t distance = read_u32(word);
  if (distance < layout::kTrailerSize + layout::kCountSize || distance > file_size_) return false;
  uint32_t start = file_size_ - distance;
  if (!read_at(handle_, start, word, layout::kCountSize)) return false;
  uint32_t count = read_u16(word);
  uint32_t room = distance - layout::kTrailerSize - layout::kCountSize;
  if (count > room / layout::kEntrySize) return false;
  if (count == 0) return true;

  uint32_t bytes = count * layout::kEntrySize;
  std::unique_ptr<unsigned char[]> table(new (std::nothrow) unsigned char[bytes]);
  if (!table || !read_at(handle_, start + layout::kCountSize, table.get(), bytes)) return false;

  ArchiveEntry** tail = &first_;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* record = table.get() + i * layout::kEntrySize;
    auto* entry = new (std::nothrow) ArchiveEntry;
    if (entry == nullptr) return false;  // the caller's close() frees what was built
    std::memcpy(entry->name, record + layout::kNameOffset, layout::kNameSize);
    entry->name[layout::kNameSize - 1] = '\0';
    entry->distance = read_u32(record + layout::kDistanceOffset);
    entry->size = read_u32(record + layout::kSizeOffset);
    entry->next = nullptr;
    *tail = entry;
    tail = &entry->next;
  }
  return true;
}

void DataArchive::close() {
  while (first_ != nullptr) {
    ArchiveEntry* next = first_->next;
    delete first_;
    first_ = next;
  }
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
  ok_ = false;
  file_size_ = 0;
}

const ArchiveEntry* DataArchive::find(const char* path) const {
  if (path == nullptr) return nullptr;
  const char* key = key_of(path);
  if (*key == '\0') return nullptr;
  for (const ArchiveEntry* entry = first_; entry != nullptr; entry = entry->next) {
    if (name_matches(entry->name, key)) return entry;
  }
  return nullptr;
}

bool DataArchive::readable(const ArchiveEntry& entry) const {
  return entry.distance <= file_size_ && entry.size <= entry.distance;
}

const ArchiveEntry* DataArchive::find_readable(const char* path) const {
  const ArchiveEntry* entry = find(path);
  return entry != nullptr && readable(*entry) ? entry : nullptr;
}

int32_t DataArchive::member_size(const char* path) const {
  const ArchiveEntry* entry = find_readable(path);
  return entry != nullptr ? static_cast<int32_t>(entry->size) : -1;
}

int32_t DataArchive::read_member(const char* path, void* buffer, uint32_t max_count) {
  const ArchiveEntry* entry = find_readable(path);
  return entry != nullptr ? read_entry(*entry, buffer, max_count) : -1;
}

int32_t DataArchive::read_entry(const ArchiveEntry& entry, void* buffer, uint32_t max_count) {
  if (!readable(entry)) return -1;
  uint32_t count = max_count == 0 || max_count > entry.size ? entry.size : max_count;
  if (::lseek(handle_, file_size_ - entry.distance, SEEK_SET) < 0) return -1;
  return read_fully(handle_, buffer, count);
}

int32_t DataArchive::seek_member(const char* path, int32_t offset, int origin) {
  const ArchiveEntry* entry = find_readable(path);
  if (entry == nullptr || origin < 0 || origin > 2) return -1;
  int64_t position = static_cast<int64_t>(file_size_ - entry->distance) + offset;
  if (origin == 2) position += entry->size;
  if (position < 0 || position > std::numeric_limits<int32_t>::max()) return -1;
  if (::lseek(handle_, static_cast<off_t>(position), SEEK_SET) < 0) return -1;
  return static_cast<int32_t>(position);
}

int32_t DataArchive::read(void* buffer, uint32_t count) {
  if (handle_ < 0) return -1;
  if (count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    count = std::numeric_limits<int32_t>::max();
  }
  return read_fully(handle_, buffer, count);
}

std::FILE* DataArchive::open_stream(const char* path) {
  if (seek_to_member(path) < 0) return nullptr;
  int duplicate = ::dup(handle_);
  if (duplicate < 0) return nullptr;
  std::FILE* stream = ::fdopen(duplicate, "rb");
  if (stream == nullptr) ::close(duplicate);
  return stream;
}

int DataArchive::seek_to_member(const char* path) {
  return seek_member(path, 0, 0) < 0 ? -1 : handle_;
}

DataArchive& library_archive() {
  static DataArchive archive("vek.bin");
  return archive;
}

}  // namespace archive
