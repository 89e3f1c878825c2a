// Copying the properties of one .msg object (message, recipient, attachment) into the
// store: the filter of what the store owns, named-property re-mapping, 8-bit strings
// decoded to Unicode, HTML bodies as PR_HTML bytes, large values streamed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "msg/message.h"
#include "msg/named_properties.h"
#include "pst/store.h"
#include "support/status.h"

namespace baleport::import {

// Where one object's properties go.
struct PropertySink {
  std::function<Status(pst::Property)> set;
  // For values too large to take whole; empty for recipient rows, whose values the
  // store keeps in its table and so always takes whole.
  std::function<Result<std::unique_ptr<pst::ValueStream>>(mapi::PropTag)> open_stream;
};

enum class ObjectRole { kItem, kEmbeddedMessage, kRecipient, kAttachment };

// Whether the store owns or computes a property, so that a file's value must not be
// copied: ids and keys of the file's own store, sizes, counts, row numbers, flags derived
// from content. The item's own flags are set by the import (read, nothing else).
bool StoreOwned(uint16_t id, ObjectRole role);

class PropertyCopier {
 public:
  PropertyCopier(const msg::NameMap& names, pst::Store& store) : names_(names), store_(store) {}

  // Copies the object's properties except those of type PT_OBJECT (attachment data
  // objects, handled by the attachment import) and those the store owns.
  Status Copy(const msg::PropertyObject& object, ObjectRole role, const PropertySink& sink);

 private:
  // The store's tag for a file's tag; nullopt for a named property the file does not
  // define, which is left out.
  Result<std::optional<mapi::PropTag>> StoreTag(mapi::PropTag tag);
  Status CopyValue(const msg::PropertyObject& object, const msg::Property& p, mapi::PropTag tag,
                   const PropertySink& sink);

  const msg::NameMap& names_;
  pst::Store& store_;
  std::map<uint16_t, uint16_t> mapped_;  // file id → store id, for the file's named ids
  uint32_t html_code_page_ = 0;          // what a Unicode HTML body of the object was encoded in
};

}  // namespace baleport::import
