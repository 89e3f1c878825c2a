// Fixed content of a store: table template columns (§2.4.4, §2.4.5.3, §2.4.6.1) and the
// standard folders with the properties by which clients recognise them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pst/store.h"

namespace baleport::pst {

std::vector<uint32_t> HierarchyTableColumns();
std::vector<uint32_t> ContentsTableColumns();
std::vector<uint32_t> AssocContentsTableColumns();
std::vector<uint32_t> SearchContentsTableColumns();
std::vector<uint32_t> AttachmentTableColumns();
std::vector<uint32_t> RecipientTableColumns();
// Columns a hierarchy table gains with its first row, except the root folder's.
std::vector<uint32_t> SubfolderHierarchyColumns();

// The receive-folder table: message class -> the NID of the folder such items are delivered to.
inline constexpr uint32_t kNidReceiveFolderTable = 0x62B;
inline constexpr uint32_t kTagReceiveFolderNid = 0x66050003;
// Tables Outlook keeps in every store, by NID, with their columns; only the receive-folder
// table has rows here. Outlook does not say what the others hold; they are made empty.
const std::vector<std::pair<uint32_t, std::vector<uint32_t>>>& FixedTables();

struct StandardFolderInfo {
  StandardFolder which;
  std::string_view name;
  std::string_view container_class;
  uint32_t store_entry_id_tag;  // on the message store, or 0
  uint32_t root_entry_id_tag;   // on the root folder and the Inbox, or 0
  uint32_t valid_mask_bit;      // PidTagValidFolderMask
};
const std::vector<StandardFolderInfo>& StandardFolders();

// PidTagValidFolderMask bits of the mandatory special folders.
inline constexpr uint32_t kFolderMaskSubtree = 0x01, kFolderMaskInbox = 0x02, kFolderMaskWastebasket = 0x08,
                          kFolderMaskFinder = 0x80;
// Index of Junk E-mail within PidTagAdditionalRenEntryIds on the Inbox ([MS-OXOSFLD] §2.2.4).
inline constexpr size_t kJunkEmailRenIndex = 4;
inline constexpr uint32_t kTagAdditionalRenEntryIds = 0x36D81102;

// Folder/message entry ID (§2.4.3.2): four zero flag bytes, the store's record key, the NID.
std::string MakeEntryId(const std::array<uint8_t, 16>& record_key, uint32_t nid);
// The NID an entry ID of this store names, or 0.
uint32_t EntryIdNid(const std::array<uint8_t, 16>& record_key, std::string_view entry_id);

}  // namespace baleport::pst
