// The import of one .msg file into one item of the store: what the conversion's
// RDOMail::Import does over the store engine.
#pragma once

#include <string>

#include "msg/message.h"
#include "pst/store.h"
#include "support/env.h"
#include "support/status.h"

namespace baleport::import {

// Fills `item` (new and unsaved) from the .msg file at `path`: every property except
// those the store owns or computes, named properties re-mapped into `store`'s map,
// recipients, attachments of every kind, embedded messages as the item's own
// sub-objects, 8-bit strings as Unicode, HTML bodies as PR_HTML bytes in their Internet
// code page. Large values are streamed, never held whole. The item's flags become
// MSGFLAG_READ plus the file's MSGFLAG_UNSENT (a draft stays a draft), and are returned;
// the store sets MSGFLAG_HASATTACH itself.
//
// On failure (the message names the file and the reason) the item is half made: the
// caller discards it unsaved. A property with a named-property id that the file does not
// define is left out: under the store's map it would stand for an unrelated name.
// Returns the message flags written: read, and the file's unsent flag (a draft stays a draft).
Result<int32_t> ImportMessageFile(const std::string& path, pst::Message& item, pst::Store& store, Env& env = *Env::Default());
// The same from a file already opened (perhaps on another thread).
Result<int32_t> ImportMessageFile(const msg::MsgFile& file, pst::Message& item, pst::Store& store);

}  // namespace baleport::import
