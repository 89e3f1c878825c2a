// The identity of a source file kept with the item made from it, and the items of an open
// store recognised by it: what lets a second run into the same store skip the messages a
// first one converted (and delete their sources) instead of adding them twice.
//
// The identity is a digest of the file's bytes and its size, kept in a named property of
// the program's own set. Finding it stays cheap in a folder of 250,000 items: the folder's
// contents table (read once per folder) narrows the search to the items of the same subject,
// and only those are opened to compare digests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>


#include "pst/store.h"
#include "support/env.h"

namespace baleport {

// 16 bytes of XXH3-128 over the file's bytes, then its size as 8 bytes little-endian. Read
// in pieces: memory does not grow with the file.
Result<std::string> SourceDigest(Env& env, const std::string& path);
// The same digest of bytes already in memory.
std::string SourceDigest(std::span<const uint8_t> bytes);

class SourceIndex {
 public:
  explicit SourceIndex(pst::Store& store) : store_(&store) {}
  // The same store opened again: what was listed and claimed still holds.
  void Rebind(pst::Store& store) { store_ = &store; }

  // Keeps `digest` on an item being built.
  Status Keep(pst::Message& item, const std::string& digest);
  // Whether `folder` held, before this index first looked at it, an item of this subject
  // and digest that no earlier call has claimed; such an item is claimed now. The folder is
  // listed on the first call for it, before the run saves anything there.
  Result<bool> Claim(pst::FolderId folder, std::string_view subject, const std::string& digest);

 private:
  Result<mapi::PropTag> DigestTag();

  pst::Store* store_;
  std::optional<mapi::PropTag> tag_;
  // Per folder: the items by a hash of their subject.
  std::unordered_map<pst::FolderId, std::unordered_map<uint64_t, std::vector<uint32_t>>> folders_;
  std::unordered_set<uint32_t> claimed_;
};

}  // namespace baleport
