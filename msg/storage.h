// One storage of the compound file with its children indexed by name.
#pragma once

#include <gsf/gsf-infile.h>
#include <gsf/gsf-input.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "msg/gobject_ptr.h"
#include "msg/read_cache.h"
#include "support/status.h"

namespace baleport::msg {

class Storage {
 public:
  // `path` names the storage in messages: "<file>" for the root, "<file>:/a/b" below it.
  // `source` is the file beneath `infile`, which its inputs keep alive; it tells why a read failed.
  static Result<Storage> Index(GPtr<GsfInfile> infile, std::string path, bool is_root, const ReadCache& source);

  const std::string& path() const { return path_; }
  int child_count() const { return static_cast<int>(names_.size()); }
  const std::string& child_name(int index) const { return names_[index]; }
  // Compound-file names compare case-insensitively; the names looked up here are ASCII.
  // Returns -1 when there is no such child.
  int Find(std::string_view name) const;
  std::string ChildPath(int index) const;

  // A stream child opened for reading, and its size.
  struct Stream {
    GPtr<GsfInput> input;
    uint64_t size = 0;
  };
  Result<Stream> OpenStream(int index) const;
  Result<Storage> OpenStorage(int index) const;
  // Reads a whole stream child, refusing one larger than max_size.
  Result<std::vector<uint8_t>> ReadStream(int index, size_t max_size) const;
  const ReadCache& source() const { return *source_; }

 private:
  Storage(GPtr<GsfInfile> infile, std::string path, const ReadCache& source)
      : infile_(std::move(infile)), path_(std::move(path)), source_(&source) {}
  Result<GPtr<GsfInput>> OpenChild(int index) const;

  GPtr<GsfInfile> infile_;
  std::string path_;
  const ReadCache* source_;
  bool is_root_ = false;
  std::vector<std::string> names_;
  std::unordered_map<std::string, int> by_upper_name_;
};

// Reads n bytes at the stream's current position; the error names the stream and, when the
// file could not be read, why.
Status ReadExactly(GsfInput* input, void* dst, size_t n, const std::string& where, const ReadCache& source);

}  // namespace baleport::msg
