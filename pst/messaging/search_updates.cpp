#include "pst/messaging/search_updates.h"

#include "pst/disk/layout.h"
#include "support/little_endian.h"

namespace baleport::pst {
namespace {

constexpr uint32_t kNidSearchDomainObject = 0x261;
constexpr uint16_t kSudMessageAdd = 0x01, kSudFolderAdd = 0x05;
constexpr size_t kSudSize = 20;

uint32_t IndexOf(uint32_t nid) { return nid >> 5; }

}  // namespace

Result<SearchUpdates> SearchUpdates::Load(const ndb::NodeDatabase& db) {
  SearchUpdates u;
  const ndb::NodeEntry* sdo = db.FindNode(kNidSearchDomainObject);
  if (!sdo || !sdo->bid_data) return u;
  auto nids = db.ReadStream(sdo->bid_data);
  if (!nids.ok()) return nids.status().WithContext("reading the search domain of " + db.path());
  for (size_t i = 0; i + 4 <= nids->size(); i += 4) u.domain_.insert(IndexOf(LoadLe<uint32_t>(nids->data() + i)));
  return u;
}

bool SearchUpdates::Covers(uint32_t folder) const { return domain_.count(IndexOf(folder)) != 0; }

void SearchUpdates::Queue(uint16_t type, uint32_t first, uint32_t second) {
  AppendLe<uint16_t>(pending_, 0);  // wFlags
  AppendLe<uint16_t>(pending_, type);
  AppendLe<uint32_t>(pending_, first);
  AppendLe<uint32_t>(pending_, second);
  pending_.append(kSudSize - 12, '\0');
}

void SearchUpdates::MessageAdded(uint32_t folder, uint32_t message) {
  if (Covers(folder)) Queue(kSudMessageAdd, folder, message);
}

void SearchUpdates::FolderAdded(uint32_t parent, uint32_t folder) {
  if (Covers(parent)) Queue(kSudFolderAdd, parent, folder);
}

Status SearchUpdates::Flush(ndb::NodeDatabase* db) {
  if (pending_.empty()) return Status::Ok();
  ndb::NodeEntry queue{disk::kNidSearchManagementQueue, 0, 0, 0};  // an empty queue has its head at 0
  std::string items;
  if (const ndb::NodeEntry* n = db->FindNode(disk::kNidSearchManagementQueue)) {
    queue = *n;
    if (queue.bid_data) {
      auto old = db->ReadStream(queue.bid_data);
      if (!old.ok()) return old.status().WithContext("reading the search management queue of " + db->path());
      items = std::move(*old);
    }
  }
  ndb::StreamWriter w(db);
  if (queue.bid_data) {
    auto leaves = db->DataTreeLeaves(queue.bid_data);
    if (leaves.ok()) w.ReuseFrom(std::move(*leaves));  // the queue's old blocks stay shared
  }
  BALEPORT_RETURN_IF_ERROR(w.Write(items));
  BALEPORT_RETURN_IF_ERROR(w.Write(pending_));
  auto bid = w.Finish();
  if (!bid.ok()) return bid.status();
  queue.bid_data = *bid;
  BALEPORT_RETURN_IF_ERROR(db->SetNode(queue));
  pending_.clear();
  return Status::Ok();
}

}  // namespace baleport::pst
