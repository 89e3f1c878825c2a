// One text rendering of a message's essentials (class, subject, sender, times, hashes of the
// bodies, recipients, attachments and their bytes, embedded messages, names), written by the
// C++ reader here and by an olefile script (olefile_summary.py), so that the tests can compare
// it with an independent reading.
#pragma once

#include <string>

#include "msg/message.h"

namespace baleport::msg::testing {

std::string Summarise(const MsgFile& file);
// Runs the olefile script over a file on disk; the output, or an error.
Result<std::string> OlefileSummary(const std::string& path);

}  // namespace baleport::msg::testing
