#include "pst/messaging/table_append.h"

#include <memory>

#include "pst/messaging/stream_patch.h"

namespace baleport::pst {

namespace {

// A heap read block by block as the editor asks for them.
struct StoredHeap {
  std::vector<uint64_t> leaves;
  std::optional<ltp::HeapEditor> editor;
};

Result<std::unique_ptr<StoredHeap>> OpenHeap(const ndb::NodeDatabase& db, uint64_t bid_data, const std::string& where,
                                             TreeShape& shape) {
  BALEPORT_RETURN_IF_ERROR(EnsureShape(db, bid_data, shape));
  auto h = std::make_unique<StoredHeap>();
  h->leaves = Leaves(shape);
  StoredHeap* raw = h.get();
  h->editor.emplace(raw->leaves.size(), [&db, raw](size_t i) { return db.ReadBlock(raw->leaves[i]); }, db.path() + ", " + where);
  return h;
}


}  // namespace

Result<std::optional<std::vector<ltp::TableColumn>>> AppendableTc(const ndb::NodeDatabase& db, NodeStreams node,
                                                                  const std::string& where) {
  TreeShape shape;
  auto heap = OpenHeap(db, node.bid_data, where, shape);
  if (!heap.ok()) return heap.status();
  auto info = ltp::AppendableTable(*(*heap)->editor);
  if (!info.ok()) return info.status();
  if (!*info) return std::optional<std::vector<ltp::TableColumn>>();
  return std::optional<std::vector<ltp::TableColumn>>((*info)->columns);
}

Result<std::optional<NodeStreams>> AppendTc(ndb::NodeDatabase* db, NodeStreams node, const std::vector<ltp::TableRow>& rows,
                                            bool verify, const std::string& where, TableShapes* shapes) {
  const std::optional<NodeStreams> cannot;
  TableShapes scratch;
  TableShapes& known = shapes ? *shapes : scratch;
  auto heap = OpenHeap(*db, node.bid_data, where, known.heap);
  if (!heap.ok()) return heap.status();
  ltp::HeapEditor& editor = *(*heap)->editor;
  auto info = ltp::AppendableTable(editor);
  if (!info.ok()) return info.status();
  if (!*info) return cannot;
  auto subs = db->ReadSubnodes(node.bid_sub);
  if (!subs.ok()) return subs.status();
  auto matrix = subs->find((*info)->hnid_rows);
  if (matrix == subs->end()) return db->Corrupt(where + ": the table's row matrix is missing");
  BALEPORT_RETURN_IF_ERROR(EnsureShape(*db, matrix->second.bid_data, known.matrix));
  const std::vector<uint64_t> matrix_leaves_list = Leaves(known.matrix);
  const std::vector<uint64_t>* matrix_leaves = &matrix_leaves_list;
  if (verify) {
    // Rows are found by position, so every block but the last must be whole.
    for (size_t i = 0; i + 1 < matrix_leaves->size(); ++i) {
      const ndb::BlockInfo* b = db->FindBlock((*matrix_leaves)[i]);
      if (!b || b->cb != disk::kMaxBlockData) return cannot;
    }
  }
  ltp::StoredRowMatrix stored{matrix_leaves->size(), {}};
  auto last = db->ReadBlock(matrix_leaves->back());
  if (!last.ok()) return last.status();
  stored.last = std::move(*last);

  SubnodeSet set(db);
  for (const auto& [nid, e] : *subs) {
    if (nid == (*info)->hnid_rows) continue;
    if (!db->AddRef(e.bid_data)) return cannot;
    set.entries()[nid] = ndb::SubnodeEntry{e.bid_data, 0};
    if (e.bid_sub && !db->AddRef(e.bid_sub)) return cannot;
    set.entries()[nid].bid_sub = e.bid_sub;
  }
  // Held (without blocks) so that cells moved to subnodes do not take the matrix's NID.
  set.entries()[matrix->first] = ndb::SubnodeEntry{};
  auto appended = ltp::AppendTableRows(editor, **info, stored, rows, set.Sink(), verify);
  if (!appended.ok()) return appended.status();
  if (!*appended) return cannot;
  auto matrix_root = PatchStream(db, matrix->second.bid_data, (*appended)->matrix_blocks, &known.matrix);
  if (!matrix_root.ok()) return matrix_root.status();
  set.entries()[matrix->first] = ndb::SubnodeEntry{*matrix_root, 0};
  if (matrix->second.bid_sub) {
    if (!db->AddRef(matrix->second.bid_sub)) return cannot;
    set.entries()[matrix->first].bid_sub = matrix->second.bid_sub;
  }
  auto data = PatchStream(db, node.bid_data, (*appended)->heap_blocks, &known.heap);
  if (!data.ok()) return data.status();
  auto sub = set.Finish();
  if (!sub.ok()) {
    (void)db->Release(*data);
    return sub.status();
  }
  return std::optional<NodeStreams>(NodeStreams{*data, *sub});
}


}  // namespace baleport::pst
