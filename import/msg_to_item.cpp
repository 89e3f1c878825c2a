#include "import/msg_to_item.h"

#include <vector>

#include "import/property_copy.h"
#include "import/storage_copy.h"
#include "mapi/tags.h"
#include "msg/message.h"

namespace baleport::import {
namespace {

using namespace mapi::tags;

// Every imported item is read; a draft (MSGFLAG_UNSENT) stays one. Nothing else the file's
// flags said is kept; the store adds MSGFLAG_HASATTACH when the item has attachments.
constexpr int32_t kMessageFlagRead = 0x01;
constexpr int32_t kMessageFlagUnsent = 0x08;
constexpr int32_t kAttachByStorage = 6;
constexpr int32_t kObjectTypeMailUser = 6;  // PR_OBJECT_TYPE of a recipient

template <typename Target>
PropertySink SinkOf(Target& target) {
  return {[&target](pst::Property p) { return target.Set(std::move(p)); },
          [&target](mapi::PropTag tag) { return target.OpenStream(tag); }};
}

class Importer {
 public:
  Importer(const msg::MsgFile& file, pst::Store& store) : copier_(file.names(), store) {}

  Status Fill(const msg::Message& source, pst::Message& item, ObjectRole role) {
    BALEPORT_RETURN_IF_ERROR(copier_.Copy(source, role, SinkOf(item)));
    for (const msg::Recipient& recipient : source.recipients()) {
      BALEPORT_RETURN_IF_ERROR(AddRecipient(recipient, item));
    }
    for (const msg::Attachment& attachment : source.attachments()) {
      Result<pst::Attachment*> added = item.AddAttachment();
      if (!added.ok()) return added.status().WithContext(attachment.where());
      BALEPORT_RETURN_IF_ERROR(FillAttachment(attachment, **added));
    }
    return Status::Ok();
  }

 private:
  Status AddRecipient(const msg::Recipient& recipient, pst::Message& item) {
    std::vector<pst::Property> row;
    const PropertySink sink{[&row](pst::Property p) {
                              row.push_back(std::move(p));
                              return Status::Ok();
                            },
                            {}};
    BALEPORT_RETURN_IF_ERROR(copier_.Copy(recipient, ObjectRole::kRecipient, sink));
    // Columns of the recipient table that every row has; files often leave them out.
    auto has = [&row](mapi::PropTag tag) {
      for (const pst::Property& p : row) {
        if (mapi::TagId(p.tag) == mapi::TagId(tag)) return true;
      }
      return false;
    };
    if (!has(kObjectType)) row.push_back(pst::prop::Int32(kObjectType, kObjectTypeMailUser));
    if (!has(kDisplayType)) row.push_back(pst::prop::Int32(kDisplayType, 0));
    return item.AddRecipient(std::move(row)).WithContext(recipient.where());
  }

  Status FillAttachment(const msg::Attachment& source, pst::Attachment& attachment) {
    BALEPORT_RETURN_IF_ERROR(copier_.Copy(source, ObjectRole::kAttachment, SinkOf(attachment)));
    if (const msg::Message* embedded = source.embedded_message()) {
      Result<pst::Message*> inner = attachment.EmbedMessage();
      if (!inner.ok()) return inner.status().WithContext(source.where());
      BALEPORT_RETURN_IF_ERROR(Fill(*embedded, **inner, ObjectRole::kEmbeddedMessage));
      return (*inner)->Save().WithContext(embedded->where());
    }
    if (const msg::Storage* storage = source.custom_storage()) {
      // The storage goes in as the attachment's data object, in the form an OLE object is
      // saved in: the bytes of a compound file.
      Result<std::unique_ptr<pst::ValueStream>> out = attachment.OpenStream(kAttachDataObject);
      if (!out.ok()) return out.status().WithContext(source.where());
      BALEPORT_RETURN_IF_ERROR(CopyStorageAsCompoundFile(*storage, **out));
      BALEPORT_RETURN_IF_ERROR((*out)->Close().WithContext(source.where()));
      return attachment.Set(pst::prop::Int32(kAttachMethod, kAttachByStorage)).WithContext(source.where());
    }
    return Status::Ok();
  }

  PropertyCopier copier_;
};

}  // namespace

Result<int32_t> ImportMessageFile(const std::string& path, pst::Message& item, pst::Store& store, Env& env) {
  Result<std::unique_ptr<msg::MsgFile>> file = msg::MsgFile::Open(env, path);
  if (!file.ok()) return file.status();
  return ImportMessageFile(**file, item, store);
}

Result<int32_t> ImportMessageFile(const msg::MsgFile& file, pst::Message& item, pst::Store& store) {
  const msg::Message& source = file.message();
  Importer importer(file, store);
  BALEPORT_RETURN_IF_ERROR(importer.Fill(source, item, ObjectRole::kItem));
  const msg::Property* flags = source.Find(kMessageFlags);
  const int32_t kept = kMessageFlagRead | (flags != nullptr ? flags->AsInt32() & kMessageFlagUnsent : 0);
  BALEPORT_RETURN_IF_ERROR(item.Set(pst::prop::Int32(kMessageFlags, kept)).WithContext(file.path()));
  return kept;
}

}  // namespace baleport::import
