// Property and table contexts read from and written to nodes of the node database.
#pragma once

#include <string>
#include <vector>

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

// Each row of a stored TC, in row-matrix order.
Status VisitTc(const ndb::NodeDatabase& db, NodeStreams node, const std::string& where, const ltp::RowVisitor& row,
               std::vector<ltp::TableColumn>* columns = nullptr);

}  // namespace baleport::pst
