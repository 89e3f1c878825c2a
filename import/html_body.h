// HTML bodies go into the store as Outlook keeps them: PR_HTML bytes in the message's
// Internet code page.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "msg/message.h"
#include "support/status.h"

namespace baleport::import {

// Writes a PT_UNICODE HTML body encoded into `code_page`, a chunk at a time. Returns false
// (having written part of it) when a character has no form in that code page; UTF-8 has one
// for every character, and an unpaired surrogate becomes U+FFFD there.
Result<bool> EncodeHtml(const msg::PropertyObject& object, const msg::Property& html, uint32_t code_page,
                        const std::function<Status(std::string_view)>& write);

}  // namespace baleport::import
