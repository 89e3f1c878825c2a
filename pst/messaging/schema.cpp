#include "pst/messaging/schema.h"

#include <cstring>

#include "mapi/tags.h"
#include "pst/disk/bytes.h"

namespace baleport::pst {

using namespace mapi::tags;

namespace {
constexpr uint32_t kReplItemid = 0x0E300003, kReplChangenum = 0x0E330014, kReplVersionHistory = 0x0E340102,
                   kReplFlags = 0x0E380003, kReplCopiedfromVersionhistory = 0x0E3C0102,
                   kReplCopiedfromItemid = 0x0E3D0102, kItemTemporaryFlags = 0x10970003,
                   kSecureSubmitFlags = 0x65C60003, kLtpParentNid = 0x67F10003;
}  // namespace

std::vector<uint32_t> HierarchyTableColumns() {
  return {kReplItemid,  kReplChangenum, kReplVersionHistory, kReplFlags,      kDisplayName,   kContentCount,
          kContentUnread, kSubfolders,  kContainerClass,     kPstHiddenCount, kPstHiddenUnread};
}

std::vector<uint32_t> ContentsTableColumns() {
  return {kImportance,      kMessageClass,       kSensitivity,        kSubject,
          kClientSubmitTime, kSentRepresentingName, kMessageToMe,     kMessageCcMe,
          kConversationTopic, kConversationIndex, kDisplayCc,         kDisplayTo,
          kMessageDeliveryTime, kMessageFlags,    kMessageSize,       kMessageStatus,
          kReplItemid,      kReplChangenum,      kReplVersionHistory, kReplFlags,
          kReplCopiedfromVersionhistory, kReplCopiedfromItemid, kItemTemporaryFlags, kLastModificationTime,
          kSecureSubmitFlags};
}

std::vector<uint32_t> AssocContentsTableColumns() {
  return {kMessageClass, kMessageFlags, kMessageStatus, kDisplayName, 0x6800001F, 0x6803000B,
          0x68051003,    0x70030003,    0x70040102,     0x70050102,   0x7006001F, 0x70070003};
}

std::vector<uint32_t> SearchContentsTableColumns() {
  return {kImportance, kMessageClass, kSensitivity, kSubject,  kSentRepresentingName, kMessageToMe,
          kDisplayCc,  kDisplayTo,    0x0E05001F,   kMessageDeliveryTime, kMessageFlags, kMessageSize,
          kMessageStatus, 0x0E2A000B, kLastModificationTime, kLtpParentNid};
}

std::vector<uint32_t> AttachmentTableColumns() {
  return {kAttachSize, kAttachFilename, kAttachMethod, kRenderingPosition};
}

std::vector<uint32_t> RecipientTableColumns() {
  return {kRecipientType, kResponsibility, kRecordKey,   kObjectType,  kEntryId,    kDisplayName,
          kAddressType,   kEmailAddress,   kSearchKey,   kDisplayType, 0x39FF001F,  0x3A40000B};
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
  disk::Append<uint32_t>(id, nid);
  return id;
}

uint32_t EntryIdNid(const std::array<uint8_t, 16>& record_key, std::string_view entry_id) {
  if (entry_id.size() != 24 || std::memcmp(entry_id.data() + 4, record_key.data(), 16) != 0) return 0;
  return disk::Load<uint32_t>(entry_id.data() + 20);
}

}  // namespace baleport::pst
