// Items under construction: a message's or attachment's properties, recipients and
// attachments, turned into nodes (§2.4.5, §2.4.6) when saved.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "pst/messaging/node_io.h"
#include "pst/store.h"

namespace baleport::pst {

// Properties of one PC being built, with the subnodes its streamed values went to.
class PropertyBag {
 public:
  // Room for the properties a mail item usually has: growing the array value by value moved
  // every value again at each step.
  explicit PropertyBag(ndb::NodeDatabase* db) : db_(db), subnodes_(db) { props_.reserve(64); }

  Status Set(Property p);
  Result<std::unique_ptr<ValueStream>> OpenStream(mapi::PropTag tag);
  bool Has(uint16_t id) const { return props_.count(id) != 0; }
  const ltp::PropertyMap& props() const { return props_; }
  // Bytes of all values, streamed ones included.
  uint64_t ValueBytes() const;
  SubnodeSet& subnodes() { return subnodes_; }
  ndb::NodeDatabase* db() const { return db_; }
  bool streaming() const { return open_streams_ > 0; }
  void Drop(uint16_t id);
  // Writes the PC and the subnode tree holding its subnodes.
  Result<NodeStreams> Finish();

 private:
  friend class BagStream;
  Status Put(uint16_t id, ltp::PropertyValue v, uint64_t size);
  // Gives back the subnode a streamed value or an object lies in.
  void ReleaseSubnode(const ltp::PropertyValue& v);

  ndb::NodeDatabase* db_;
  ltp::PropertyMap props_;
  std::map<uint16_t, uint64_t> streamed_sizes_;
  SubnodeSet subnodes_;
  int open_streams_ = 0;
};

class AttachmentBuilder;

// The empty recipient table every item without recipients shares: the template while its
// reference count allows, then one copy after another.
class SharedEmptyRecipients {
 public:
  // A data block holding the empty table, with one reference for the caller.
  Result<uint64_t> Take(ndb::NodeDatabase* db);

 private:
  uint64_t bid_ = 0;
};

class MessageBuilder final : public Message {
 public:
  // `save` stores a finished top-level message; embedded messages have none.
  using SaveHook = std::function<Status(MessageBuilder&)>;
  MessageBuilder(ndb::NodeDatabase* db, SharedEmptyRecipients* empty, SaveHook save);
  ~MessageBuilder() override;

  Status Set(Property p) override;
  Result<std::unique_ptr<ValueStream>> OpenStream(mapi::PropTag tag) override;
  Status AddRecipient(std::vector<Property> row) override;
  Result<Attachment*> AddAttachment() override;
  Status Save() override;
  uint32_t id() const override { return id_; }

  // Adds the computed properties and writes the message: PC, recipient and attachment
  // tables, attachments. The result holds one reference for the caller.
  Result<NodeStreams> Build();
  const ltp::PropertyMap& props() const { return bag_.props(); }
  uint32_t message_size() const { return size_; }
  bool saved() const { return saved_; }
  void set_id(uint32_t id) { id_ = id; }

 private:
  Status MarkSubject();
  ndb::NodeDatabase* db_;
  SharedEmptyRecipients* empty_recipients_;
  SaveHook save_;
  PropertyBag bag_;
  std::vector<ltp::PropertyMap> recipients_;
  std::vector<std::unique_ptr<AttachmentBuilder>> attachments_;
  uint32_t id_ = 0;
  uint32_t size_ = 0;
  bool saved_ = false;
  bool failed_ = false;
};

class AttachmentBuilder final : public Attachment {
 public:
  AttachmentBuilder(ndb::NodeDatabase* db, SharedEmptyRecipients* empty) : db_(db), empty_recipients_(empty), bag_(db) {}
  Status Set(Property p) override { return bag_.Set(std::move(p)); }
  Result<std::unique_ptr<ValueStream>> OpenStream(mapi::PropTag tag) override { return bag_.OpenStream(tag); }
  Result<Message*> EmbedMessage() override;

  // Writes the attachment PC and its subnodes (an embedded message among them).
  Result<NodeStreams> Build();
  const ltp::PropertyMap& props() const { return bag_.props(); }
  uint32_t size() const { return size_; }
  bool streaming() const { return bag_.streaming(); }

 private:
  ndb::NodeDatabase* db_;
  SharedEmptyRecipients* empty_recipients_;
  PropertyBag bag_;
  std::unique_ptr<MessageBuilder> embedded_;
  uint32_t size_ = 0;
};

}  // namespace baleport::pst
