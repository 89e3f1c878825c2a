// Property and table contexts read from and written to nodes of the node database.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "pst/ltp/property_context.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/node_database.h"

namespace baleport::pst {

struct NodeStreams {
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
};

// A node's heap; `where` names the node in errors.
Result<ltp::Heap> ReadHeap(const ndb::NodeDatabase& db, uint64_t bid_data, const std::string& where);
Result<ltp::PropertyMap> ReadPc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where);
Result<ltp::Table> ReadTc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where);
Result<ltp::PropertyMap> ReadPcNode(const ndb::NodeDatabase& db, uint32_t nid);
Result<ltp::Table> ReadTcNode(const ndb::NodeDatabase& db, uint32_t nid);

// Heap blocks as the node's data stream; blocks equal to those of `previous` (a data tree
// or 0) are reused rather than written again.
Result<uint64_t> WriteHeapStream(ndb::NodeDatabase* db, const std::vector<std::string>& blocks, uint64_t previous = 0);

// Collects the subnodes a PC or TC needs for values over 3580 bytes; unused ones are
// released when it goes away.
class SubnodeSet {
 public:
  explicit SubnodeSet(ndb::NodeDatabase* db) : db_(db) {}
  ~SubnodeSet();
  SubnodeSet(const SubnodeSet&) = delete;
  SubnodeSet& operator=(const SubnodeSet&) = delete;

  ndb::SubnodeMap& entries() { return entries_; }
  // A fresh NID of the given type not used in this set.
  uint32_t NewNid(uint8_t nid_type);
  // Stores a stream as a new LTP subnode.
  Result<uint32_t> PutStream(std::string_view data);
  // Subnodes of the previous version of the node: a stream given the same NID keeps the
  // blocks it shares with its old version.
  void ReuseFrom(ndb::SubnodeMap previous) { previous_ = std::move(previous); }
  ltp::BigValueSink Sink() {
    return [this](std::string_view d) { return PutStream(d); };
  }
  // Writes the subnode tree, handing the entries' references to it.
  Result<uint64_t> Finish();

 private:
  ndb::NodeDatabase* db_;
  ndb::SubnodeMap entries_;
  ndb::SubnodeMap previous_;
  uint32_t next_index_ = 0x400;
  bool finished_ = false;
};

// A whole PC or TC node written fresh.
Result<NodeStreams> WritePc(ndb::NodeDatabase* db, const ltp::PropertyMap& props);
// A table rewritten over `previous` keeps the blocks that did not change.
Result<NodeStreams> WriteTc(ndb::NodeDatabase* db, const ltp::Table& table, NodeStreams previous = {});

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
// The shapes of a table's heap and row matrix as last written.
struct TableShapes {
  TreeShape heap, matrix;
};

// Each row of a stored TC, in row-matrix order.
Status VisitTc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where, const ltp::RowVisitor& row,
               std::vector<ltp::TableColumn>* columns = nullptr);
// The columns of a stored TC that rows can be appended to, or nullopt (see ltp::AppendTableRows).
Result<std::optional<std::vector<ltp::TableColumn>>> AppendableTc(const ndb::NodeDatabase& db, NodeStreams node,
                                                                  const std::string& where);
// `rows` added to the end of a stored TC: only the heap and row-matrix blocks they change are
// written, every other block is shared with `node`. `verify` first checks that the row index
// covers the matrix exactly. Nullopt when the table cannot be appended to; nothing is then
// written, and the caller lays the table out anew.
Result<std::optional<NodeStreams>> AppendTc(ndb::NodeDatabase* db, NodeStreams node, const std::vector<ltp::TableRow>& rows,
                                            bool verify, const std::string& where, TableShapes* shapes = nullptr);

// A data tree like `root` with the leaves in `changes` (index to payload; indices from the
// leaf count on are added) replaced; unchanged leaves and XBLOCKs are shared, not copied.
// `shape`, if given, describes `root` (or is read) and then the new tree.
Result<uint64_t> PatchStream(ndb::NodeDatabase* db, uint64_t root, const std::map<size_t, std::string>& changes,
                             TreeShape* shape = nullptr);

}  // namespace baleport::pst
