// One storage of a compound file: a cheap handle onto its directory entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "msg/compound_file.h"
#include "support/status.h"

namespace baleport::msg {

class Storage {
 public:
  Storage(const CompoundFile& file, uint32_t id) : file_(&file), id_(id) {}

  const CompoundFile& file() const { return *file_; }
  uint32_t id() const { return id_; }
  // "<file>" for the root, "<file>:/a/b" below it.
  std::string path() const { return file_->Path(id_); }
  int child_count() const { return static_cast<int>(file_->children(id_).size()); }
  uint32_t child_id(int index) const { return file_->children(id_)[index]; }
  bool child_is_storage(int index) const { return file_->kind(child_id(index)) == CompoundFile::Kind::kStorage; }
  std::string ChildPath(int index) const { return file_->Path(child_id(index)); }
  // Compound-file names compare case-insensitively; the names looked up here are ASCII.
  // Returns -1 when there is no such child.
  int Find(std::string_view name) const;

  Result<Storage> OpenStorage(int index) const;
  // Reads a whole stream child, refusing a storage or one larger than max_size.
  Result<std::vector<uint8_t>> ReadStream(int index, size_t max_size) const;

 private:
  const CompoundFile* file_;
  uint32_t id_;
};

}  // namespace baleport::msg
