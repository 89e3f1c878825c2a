#include "pst/messaging/schema.h"

#include <cstring>

#include "mapi/tags.h"
#include "support/little_endian.h"

namespace baleport::pst {

using namespace mapi::tags;

namespace {
constexpr uint32_t kReplItemid = 0x0E300102, kReplChangenum = 0x0E330014, kReplVersionHistory = 0x0E340102,
                   kReplFlags = 0x0E380003, kReplCopiedfromVersionhistory = 0x0E3C0102,
                   kReplCopiedfromItemid = 0x0E3D0102, kItemTemporaryFlags = 0x10970003, kChangeKey = 0x30130102,
                   kSecureSubmitFlags = 0x65C60003, kLtpParentNid = 0x67F10003, kParentDisplay = 0x0E05001F,
                   kExtendedFolderFlags = 0x36DA0102, kLongTermEntryIdFromTable = 0x66700102;
}  // namespace

// Each list is in the order Outlook adds the columns, which fixes their cells and bits.
std::vector<uint32_t> HierarchyTableColumns() {
  return {kDisplayName, kContentCount, kContentUnread, kSubfolders,     kReplItemid,    kReplChangenum,
          kReplVersionHistory, kReplFlags, kContainerClass, kPstHiddenCount, kPstHiddenUnread};
}

std::vector<uint32_t> SubfolderHierarchyColumns() { return {kExtendedFolderFlags, kLongTermEntryIdFromTable}; }

std::vector<uint32_t> ContentsTableColumns() {
  return {kMessageStatus, kMessageClass, kMessageFlags, kImportance, kSentRepresentingName, kSubject,
          kMessageDeliveryTime, kClientSubmitTime, kMessageSize, kDisplayTo, kDisplayCc, kMessageToMe,
          kMessageCcMe, kSensitivity, kItemTemporaryFlags, kConversationTopic, kConversationIndex, kChangeKey,
          kSecureSubmitFlags, kLastModificationTime, kReplItemid, kReplChangenum, kReplVersionHistory,
          kReplCopiedfromItemid, kReplCopiedfromVersionhistory, kReplFlags};
}

std::vector<uint32_t> AssocContentsTableColumns() {
  return {kMessageStatus, kMessageClass, kMessageFlags, kDisplayName, 0x70030003, 0x70040102, 0x70050102,
          0x7006001F,     0x70070003,    0x6800001F,    0x6803000B,   0x68051003, 0x682F001F};
}

std::vector<uint32_t> SearchContentsTableColumns() {
  return {kLtpParentNid, kParentDisplay, kMessageStatus, kMessageClass, kMessageFlags, kImportance,
          kSentRepresentingName, kSubject, kMessageDeliveryTime, kMessageSize, kDisplayTo, kDisplayCc,
          kMessageToMe, kMessageCcMe, kSensitivity, 0x0E2A000B, kLastModificationTime};
}

std::vector<uint32_t> AttachmentTableColumns() {
  return {kRenderingPosition, kAttachSize, kAttachMethod, kAttachFilename};
}

std::vector<uint32_t> RecipientTableColumns() {
  return {kResponsibility, kAddressType, kEmailAddress, kEntryId,    kDisplayName, kRecipientType,
          kSearchKey,      kRecordKey,   kObjectType,   kDisplayType, 0x3A40000B,  0x39FF001F};
}

const std::vector<std::pair<uint32_t, std::vector<uint32_t>>>& FixedTables() {
  static const std::vector<std::pair<uint32_t, std::vector<uint32_t>>> kTables = {
      {kNidReceiveFolderTable, {kTagReceiveFolderNid, kMessageClass}},
      {0x64C, {0x0E140003, 0x0E100003, kClientSubmitTime}},
      {0x6B6, {kReplChangenum, 0x0E370102, kReplFlags}},
      {0x6D7, {0x0E3E0102, 0x0E310102, kReplItemid, kReplFlags, kReplVersionHistory, kReplChangenum, kMessageClass}},
      {0x6F8, {kCreationTime, kReplChangenum}},
  };
  return kTables;
}

const std::vector<StandardFolderInfo>& StandardFolders() {
  static const std::vector<StandardFolderInfo> kFolders = {
      {StandardFolder::kInbox, "Inbox", "IPF.Note", 0, 0, kFolderMaskInbox},
      {StandardFolder::kOutbox, "Outbox", "IPF.Note", kIpmOutboxEntryId, 0, 0x04},
      {StandardFolder::kSentItems, "Sent Items", "IPF.Note", kIpmSentMailEntryId, 0, 0x10},
      {StandardFolder::kDeletedItems, "Deleted Items", "IPF.Note", kIpmWastebasketEntryId, 0, kFolderMaskWastebasket},
      {StandardFolder::kCalendar, "Calendar", "IPF.Appointment", 0, kIpmAppointmentEntryId, 0},
      {StandardFolder::kContacts, "Contacts", "IPF.Contact", 0, kIpmContactEntryId, 0},
      {StandardFolder::kJournal, "Journal", "IPF.Journal", 0, kIpmJournalEntryId, 0},
      {StandardFolder::kNotes, "Notes", "IPF.StickyNote", 0, kIpmNoteEntryId, 0},
      {StandardFolder::kTasks, "Tasks", "IPF.Task", 0, kIpmTaskEntryId, 0},
      {StandardFolder::kDrafts, "Drafts", "IPF.Note", 0, kIpmDraftsEntryId, 0},
      {StandardFolder::kJunkEmail, "Junk E-mail", "IPF.Note", 0, 0, 0},
  };
  return kFolders;
}

std::string MakeEntryId(const std::array<uint8_t, 16>& record_key, uint32_t nid) {
  std::string id(4, '\0');
  id.append(reinterpret_cast<const char*>(record_key.data()), record_key.size());
  AppendLe<uint32_t>(id, nid);
  return id;
}

uint32_t EntryIdNid(const std::array<uint8_t, 16>& record_key, std::string_view entry_id) {
  if (entry_id.size() != 24 || std::memcmp(entry_id.data() + 4, record_key.data(), 16) != 0) return 0;
  return LoadLe<uint32_t>(entry_id.data() + 20);
}

}  // namespace baleport::pst
