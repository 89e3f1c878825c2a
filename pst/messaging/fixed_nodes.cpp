#include "pst/messaging/fixed_nodes.h"

#include <string_view>
#include <utility>
#include <vector>

#include "mapi/tags.h"
#include "pst/ltp/bth.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/schema.h"
#include "pst/messaging/text.h"
#include "pst/store.h"
#include "support/little_endian.h"

namespace baleport::pst {

using namespace mapi::tags;
using disk::MakeNid;
using disk::NidIndexOf;

namespace {

constexpr uint32_t kNidC01 = 0xC01, kNidSearchDomain = 0x261;
constexpr uint8_t kClientSigC01 = 0x9C;
constexpr uint32_t kTagSearchCriteria660B = 0x660B0003;

std::string Le32(uint32_t v) {
  std::string s;
  AppendLe<uint32_t>(s, v);
  return s;
}

ltp::PropertyValue Value(const Property& p) { return ltp::PropertyValue{mapi::TagType(p.tag), p.data, 0}; }

ltp::Table EmptyTable(const std::vector<uint32_t>& columns) { return ltp::Table{ltp::Table::Layout(columns), {}}; }

Status WritePcNode(ndb::NodeDatabase* db, uint32_t nid, const ltp::PropertyMap& props, uint32_t parent) {
  auto pc = WritePc(db, props);
  if (!pc.ok()) return pc.status();
  return db->SetNode({nid, pc->bid_data, pc->bid_sub, parent});
}

// Node 0xC01: a heap whose root item names an empty BTH of 16-byte keys.
Status WriteC01(ndb::NodeDatabase* db) {
  ltp::HeapBuilder heap(kClientSigC01);
  auto root_item = heap.Allocate(Le32(0));
  if (!root_item.ok()) return root_item.status();
  auto header = heap.Allocate(std::string(8, '\0'));
  if (!header.ok()) return header.status();
  auto bth = ltp::BuildBth(heap, *header, {16, 4}, {});
  if (!bth.ok()) return bth.status();
  heap.Replace(*root_item, Le32(*header));
  heap.set_user_root(*root_item);
  auto bid = WriteHeapStream(db, heap.Finish());
  if (!bid.ok()) return bid.status();
  return db->SetNode({kNidC01, *bid, 0, 0});
}

// Its PC, empty update queue, criteria and contents table (the template's, shared).
Status WriteSpamSearchFolder(ndb::NodeDatabase* db) {
  const uint32_t index = NidIndexOf(disk::kNidSpamSearchFolder);
  BALEPORT_RETURN_IF_ERROR(WritePcNode(db, disk::kNidSpamSearchFolder, SpamSearchFolderProperties(), disk::kNidRootFolder));
  BALEPORT_RETURN_IF_ERROR(db->SetNode({MakeNid(index, disk::kNidTypeSearchUpdateQueue), 0, 0, 0}));
  ltp::PropertyMap criteria;
  criteria[mapi::TagId(kTagSearchCriteria660B)] = Value(prop::Int32(kTagSearchCriteria660B, 0));
  BALEPORT_RETURN_IF_ERROR(WritePcNode(db, MakeNid(index, disk::kNidTypeSearchCriteriaObject), criteria, 0));
  const uint32_t contents = MakeNid(index, disk::kNidTypeSearchContentsTable);
  const ndb::NodeEntry* tmpl = db->FindNode(disk::kNidSearchContentsTableTemplate);
  if (tmpl && tmpl->bid_sub == 0 && db->AddRef(tmpl->bid_data)) return db->SetNode({contents, tmpl->bid_data, 0, 0});
  return WriteTable(db, contents, EmptyTable(SearchContentsTableColumns()));
}

}  // namespace

ltp::PropertyMap SpamSearchFolderProperties() {
  ltp::PropertyMap p;
  p[mapi::TagId(kDisplayName)] = Value(prop::String(kDisplayName, "SPAM Search Folder 2"));
  p[mapi::TagId(kContentCount)] = Value(prop::Int32(kContentCount, 0));
  p[mapi::TagId(kContentUnread)] = Value(prop::Int32(kContentUnread, 0));
  p[mapi::TagId(kSubfolders)] = Value(prop::Bool(kSubfolders, false));
  return p;
}

Status WriteTable(ndb::NodeDatabase* db, uint32_t nid, const ltp::Table& table) {
  const ndb::NodeEntry* n = db->FindNode(nid);
  auto tc = WriteTc(db, table, n ? NodeStreams{n->bid_data, n->bid_sub} : NodeStreams{});
  if (!tc.ok()) return tc.status();
  return db->SetNode({nid, tc->bid_data, tc->bid_sub, 0});
}

Status WriteFixedNodes(ndb::NodeDatabase* db) {
  const std::pair<uint32_t, std::vector<uint32_t>> templates[] = {
      {disk::kNidHierarchyTableTemplate, HierarchyTableColumns()},
      {disk::kNidContentsTableTemplate, ContentsTableColumns()},
      {disk::kNidAssocContentsTableTemplate, AssocContentsTableColumns()},
      {disk::kNidSearchContentsTableTemplate, SearchContentsTableColumns()},
      {disk::kNidAttachmentTable, AttachmentTableColumns()},
      {disk::kNidRecipientTable, RecipientTableColumns()},
  };
  for (const auto& [nid, columns] : templates) BALEPORT_RETURN_IF_ERROR(WriteTable(db, nid, EmptyTable(columns)));
  for (const auto& [nid, columns] : FixedTables()) BALEPORT_RETURN_IF_ERROR(WriteTable(db, nid, EmptyTable(columns)));
  BALEPORT_RETURN_IF_ERROR(WriteReceiveFolderTable(db, disk::kNidRootFolder));
  BALEPORT_RETURN_IF_ERROR(WriteC01(db));
  // Empty queues have no data block; the search activity list names the store's search folders.
  for (uint32_t nid : {disk::kNidSearchManagementQueue, kNidSearchDomain}) BALEPORT_RETURN_IF_ERROR(db->SetNode({nid, 0, 0, 0}));
  auto activity = db->WriteBlock(Le32(disk::kNidSpamSearchFolder), false);
  if (!activity.ok()) return activity.status();
  BALEPORT_RETURN_IF_ERROR(db->SetNode({disk::kNidSearchActivityList, *activity, 0, 0}));
  return WriteSpamSearchFolder(db);
}

Status WriteReceiveFolderTable(ndb::NodeDatabase* db, uint32_t folder) {
  std::vector<std::string_view> classes = {""};
  if (folder != disk::kNidRootFolder) classes = {"", "IPM", "Report.IPM"};
  ltp::Table t = EmptyTable({kTagReceiveFolderNid, kMessageClass});
  const int nid_col = t.ColumnIndex(kTagReceiveFolderNid), class_col = t.ColumnIndex(kMessageClass);
  const int id_col = t.ColumnIndex(ltp::kTagLtpRowId), ver_col = t.ColumnIndex(ltp::kTagLtpRowVer);
  for (uint32_t i = 0; i < classes.size(); ++i) {
    ltp::Cells cells(t.columns.size());
    cells[id_col] = Le32(i + 1);
    cells[ver_col] = Le32(i + 2);
    cells[nid_col] = Le32(folder);
    cells[class_col] = prop::String(kMessageClass, classes[i]).data;
    t.rows.push_back(ltp::TableRow{i + 1, ltp::PackCells(cells)});
  }
  return WriteTable(db, kNidReceiveFolderTable, t);
}

Result<uint32_t> ReceiveFolder(const ndb::NodeDatabase& db) {
  if (!db.FindNode(kNidReceiveFolderTable)) return uint32_t{0};
  auto t = ReadTcNode(db, kNidReceiveFolderTable);
  if (!t.ok()) return t.status();
  const int nid_col = t->ColumnIndex(kTagReceiveFolderNid), class_col = t->ColumnIndex(kMessageClass);
  if (nid_col < 0 || class_col < 0) return uint32_t{0};
  uint32_t found = 0;
  for (const auto& r : t->rows) {
    ltp::Cells cells = ltp::UnpackCells(r.packed, t->columns.size());
    if (!cells[nid_col] || cells[nid_col]->size() != 4 || !cells[class_col]) continue;
    const std::string cls = Utf16LeToUtf8(*cells[class_col]);
    const uint32_t nid = LoadLe<uint32_t>(*cells[nid_col], 0);
    // "IPM" names the folder for mail; "" the one for everything else.
    if (cls == "IPM" || (cls.empty() && found == 0)) found = nid;
  }
  if (found == disk::kNidRootFolder || disk::NidTypeOf(found) != disk::kNidTypeNormalFolder) return uint32_t{0};
  return found;
}

}  // namespace baleport::pst
