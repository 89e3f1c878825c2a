// The nodes every Outlook-made store holds besides its folders: table templates, the fixed
// tables (receive folders among them), node 0xC01, the search queues and the spam search
// folder, laid out as Outlook lays them out.
#pragma once

#include <cstdint>

#include "pst/ltp/property_value.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/node_database.h"

namespace baleport::pst {

// Writes them into a new store; the spam search folder's row in the root's hierarchy is the
// caller's to add, from SpamSearchFolderProperties.
Status WriteFixedNodes(ndb::NodeDatabase* db);
ltp::PropertyMap SpamSearchFolderProperties();

// Writes node `nid` as this table, over its previous version if any.
Status WriteTable(ndb::NodeDatabase* db, uint32_t nid, const ltp::Table& table);

// Sends items of every class to `folder`: the root for a store that is no delivery target (as
// Outlook's own are), or the Inbox, which then gets "", "IPM" and "Report.IPM".
Status WriteReceiveFolderTable(ndb::NodeDatabase* db, uint32_t folder);
// The folder the receive-folder table sends mail to, or 0 (none, or the root).
Result<uint32_t> ReceiveFolder(const ndb::NodeDatabase& db);

}  // namespace baleport::pst
