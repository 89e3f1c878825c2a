// Data trees (XBLOCK/XXBLOCK over data blocks) changed in place of being written anew.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pst/ndb/node_database.h"

namespace baleport::pst {

// The XBLOCKs of a stored data tree and the leaves under each, kept between patches so that
// patching a long stream does not read all its XBLOCKs again. It describes the tree at
// `root` only, and is read anew for any other.
struct TreeShape {
  struct Chunk {
    uint64_t xblock = 0;  // 0 when the root is the only leaf
    uint32_t size = 0;
    std::vector<uint64_t> leaves;
  };
  uint64_t root = 0;
  std::vector<Chunk> chunks;
};
// The leaves of a data tree by XBLOCK, read from the XBLOCKs alone (a stream of thousands
// of blocks is mapped without a look-up per block), unless `shape` already describes it.
Status EnsureShape(const ndb::NodeDatabase& db, uint64_t root, TreeShape& shape);
// Every leaf of the tree, in order.
std::vector<uint64_t> Leaves(const TreeShape& shape);

// A data tree like `root` with the leaves in `changes` (index to payload; indices from the
// leaf count on are added) replaced; unchanged leaves and XBLOCKs are shared, not copied.
// `shape`, if given, describes `root` (or is read) and then the new tree.
Result<uint64_t> PatchStream(ndb::NodeDatabase* db, uint64_t root, const std::map<size_t, std::string>& changes,
                             TreeShape* shape = nullptr);

}  // namespace baleport::pst
