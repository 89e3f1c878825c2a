// Well-known property tags. Add the ones a module needs; keep them sorted by id.
#pragma once

#include "mapi/property_tag.h"

namespace baleport::mapi::tags {

inline constexpr PropTag kImportance = MakeTag(0x0017, PropType::kInt32);
inline constexpr PropTag kMessageClass = MakeTag(0x001A, PropType::kUnicode);
inline constexpr PropTag kSensitivity = MakeTag(0x0036, PropType::kInt32);
inline constexpr PropTag kSubject = MakeTag(0x0037, PropType::kUnicode);
inline constexpr PropTag kClientSubmitTime = MakeTag(0x0039, PropType::kSysTime);
inline constexpr PropTag kSubjectPrefix = MakeTag(0x003D, PropType::kUnicode);
inline constexpr PropTag kSentRepresentingName = MakeTag(0x0042, PropType::kUnicode);
inline constexpr PropTag kMessageToMe = MakeTag(0x0057, PropType::kBoolean);
inline constexpr PropTag kMessageCcMe = MakeTag(0x0058, PropType::kBoolean);
inline constexpr PropTag kConversationTopic = MakeTag(0x0070, PropType::kUnicode);
inline constexpr PropTag kConversationIndex = MakeTag(0x0071, PropType::kBinary);
inline constexpr PropTag kRecipientType = MakeTag(0x0C15, PropType::kInt32);
inline constexpr PropTag kSenderName = MakeTag(0x0C1A, PropType::kUnicode);
inline constexpr PropTag kDisplayBcc = MakeTag(0x0E02, PropType::kUnicode);
inline constexpr PropTag kDisplayCc = MakeTag(0x0E03, PropType::kUnicode);
inline constexpr PropTag kDisplayTo = MakeTag(0x0E04, PropType::kUnicode);
inline constexpr PropTag kMessageDeliveryTime = MakeTag(0x0E06, PropType::kSysTime);
inline constexpr PropTag kMessageFlags = MakeTag(0x0E07, PropType::kInt32);
inline constexpr PropTag kMessageSize = MakeTag(0x0E08, PropType::kInt32);
inline constexpr PropTag kParentEntryId = MakeTag(0x0E09, PropType::kBinary);
inline constexpr PropTag kResponsibility = MakeTag(0x0E0F, PropType::kBoolean);
inline constexpr PropTag kMessageRecipients = MakeTag(0x0E12, PropType::kObject);
inline constexpr PropTag kMessageAttachments = MakeTag(0x0E13, PropType::kObject);
inline constexpr PropTag kMessageStatus = MakeTag(0x0E17, PropType::kInt32);
inline constexpr PropTag kHasAttach = MakeTag(0x0E1B, PropType::kBoolean);
inline constexpr PropTag kNormalizedSubject = MakeTag(0x0E1D, PropType::kUnicode);
inline constexpr PropTag kAttachSize = MakeTag(0x0E20, PropType::kInt32);
inline constexpr PropTag kAttachNum = MakeTag(0x0E21, PropType::kInt32);
inline constexpr PropTag kAccess = MakeTag(0x0FF4, PropType::kInt32);
inline constexpr PropTag kInstanceKey = MakeTag(0x0FF6, PropType::kBinary);
inline constexpr PropTag kAccessLevel = MakeTag(0x0FF7, PropType::kInt32);
inline constexpr PropTag kMappingSignature = MakeTag(0x0FF8, PropType::kBinary);
inline constexpr PropTag kRecordKey = MakeTag(0x0FF9, PropType::kBinary);
inline constexpr PropTag kStoreRecordKey = MakeTag(0x0FFA, PropType::kBinary);
inline constexpr PropTag kStoreEntryId = MakeTag(0x0FFB, PropType::kBinary);
inline constexpr PropTag kObjectType = MakeTag(0x0FFE, PropType::kInt32);
inline constexpr PropTag kEntryId = MakeTag(0x0FFF, PropType::kBinary);
inline constexpr PropTag kBody = MakeTag(0x1000, PropType::kUnicode);
inline constexpr PropTag kRtfCompressed = MakeTag(0x1009, PropType::kBinary);
inline constexpr PropTag kBodyHtml = MakeTag(0x1013, PropType::kBinary);
inline constexpr PropTag kRowId = MakeTag(0x3000, PropType::kInt32);
inline constexpr PropTag kDisplayName = MakeTag(0x3001, PropType::kUnicode);
inline constexpr PropTag kAddressType = MakeTag(0x3002, PropType::kUnicode);
inline constexpr PropTag kEmailAddress = MakeTag(0x3003, PropType::kUnicode);
inline constexpr PropTag kCreationTime = MakeTag(0x3007, PropType::kSysTime);
inline constexpr PropTag kLastModificationTime = MakeTag(0x3008, PropType::kSysTime);
inline constexpr PropTag kSearchKey = MakeTag(0x300B, PropType::kBinary);
inline constexpr PropTag kStoreSupportMask = MakeTag(0x340D, PropType::kInt32);
inline constexpr PropTag kStoreUnicodeMask = MakeTag(0x340F, PropType::kInt32);
inline constexpr PropTag kValidFolderMask = MakeTag(0x35DF, PropType::kInt32);
inline constexpr PropTag kIpmSubTreeEntryId = MakeTag(0x35E0, PropType::kBinary);
inline constexpr PropTag kIpmOutboxEntryId = MakeTag(0x35E2, PropType::kBinary);
inline constexpr PropTag kIpmWastebasketEntryId = MakeTag(0x35E3, PropType::kBinary);
inline constexpr PropTag kIpmSentMailEntryId = MakeTag(0x35E4, PropType::kBinary);
inline constexpr PropTag kFinderEntryId = MakeTag(0x35E7, PropType::kBinary);
inline constexpr PropTag kContentCount = MakeTag(0x3602, PropType::kInt32);
inline constexpr PropTag kContentUnread = MakeTag(0x3603, PropType::kInt32);
inline constexpr PropTag kSubfolders = MakeTag(0x360A, PropType::kBoolean);
inline constexpr PropTag kContainerClass = MakeTag(0x3613, PropType::kUnicode);
inline constexpr PropTag kIpmAppointmentEntryId = MakeTag(0x36D0, PropType::kBinary);
inline constexpr PropTag kIpmContactEntryId = MakeTag(0x36D1, PropType::kBinary);
inline constexpr PropTag kIpmJournalEntryId = MakeTag(0x36D2, PropType::kBinary);
inline constexpr PropTag kIpmNoteEntryId = MakeTag(0x36D3, PropType::kBinary);
inline constexpr PropTag kIpmTaskEntryId = MakeTag(0x36D4, PropType::kBinary);
inline constexpr PropTag kIpmDraftsEntryId = MakeTag(0x36D7, PropType::kBinary);
inline constexpr PropTag kAttachDataBinary = MakeTag(0x3701, PropType::kBinary);
inline constexpr PropTag kAttachDataObject = MakeTag(0x3701, PropType::kObject);
inline constexpr PropTag kAttachExtension = MakeTag(0x3703, PropType::kUnicode);
inline constexpr PropTag kAttachFilename = MakeTag(0x3704, PropType::kUnicode);
inline constexpr PropTag kAttachMethod = MakeTag(0x3705, PropType::kInt32);
inline constexpr PropTag kAttachLongFilename = MakeTag(0x3707, PropType::kUnicode);
inline constexpr PropTag kRenderingPosition = MakeTag(0x370B, PropType::kInt32);
inline constexpr PropTag kAttachMimeTag = MakeTag(0x370E, PropType::kUnicode);
inline constexpr PropTag kDisplayType = MakeTag(0x3900, PropType::kInt32);
inline constexpr PropTag kSmtpAddress = MakeTag(0x39FE, PropType::kUnicode);
inline constexpr PropTag kTransmittableDisplayName = MakeTag(0x3A20, PropType::kUnicode);
inline constexpr PropTag kInternetCodepage = MakeTag(0x3FDE, PropType::kInt32);
inline constexpr PropTag kMessageLocaleId = MakeTag(0x3FF1, PropType::kInt32);
inline constexpr PropTag kMessageCodepage = MakeTag(0x3FFD, PropType::kInt32);
inline constexpr PropTag kSourceKey = MakeTag(0x65E0, PropType::kBinary);
inline constexpr PropTag kParentSourceKey = MakeTag(0x65E1, PropType::kBinary);
inline constexpr PropTag kPstHiddenCount = MakeTag(0x6635, PropType::kInt32);
inline constexpr PropTag kPstHiddenUnread = MakeTag(0x6636, PropType::kInt32);
inline constexpr PropTag kPstPassword = MakeTag(0x67FF, PropType::kInt32);

}  // namespace baleport::mapi::tags
