// What search folders must hear of (§2.4.8.1): an item or folder added under a folder that a
// search folder covers (one listed in the search domain object) is queued as a search update
// descriptor in the search management queue, so Outlook's search folders stay in step.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "pst/ndb/node_database.h"
#include "support/status.h"

namespace baleport::pst {

class SearchUpdates {
 public:
  // The folders of the store's search domain; a store without one covers none.
  static Result<SearchUpdates> Load(const ndb::NodeDatabase& db);

  void MessageAdded(uint32_t folder, uint32_t message);
  void FolderAdded(uint32_t parent, uint32_t folder);
  bool pending() const { return !pending_.empty(); }
  // Appends what was noted to the queue's tail, keeping its head; on failure nothing noted
  // is lost, so the next commit tries again.
  Status Flush(ndb::NodeDatabase* db);

 private:
  bool Covers(uint32_t folder) const;
  void Queue(uint16_t type, uint32_t first, uint32_t second);

  std::set<uint32_t> domain_;  // nid indexes: the domain may list a folder under another nid type
  std::string pending_;        // SUDs, 20 bytes each
};

}  // namespace baleport::pst
