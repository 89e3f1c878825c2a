// Opening a .msg file ([MS-OXMSG] on [MS-CFB]). The compound file's tables and the whole
// object tree are checked at open, so that a damaged file fails here, naming the file and the
// storage or stream at fault; values are read later, on demand. A MsgFile owns all it refers
// to and shares nothing with other files: it may be opened on one thread and read on another
// (a file up to CompoundFile::kWholeFileLimit is in memory once opened).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "msg/compound_file.h"
#include "msg/message.h"
#include "msg/named_properties.h"
#include "support/env.h"
#include "support/status.h"

namespace baleport::msg {

class MsgFile {
 public:
  static Result<std::unique_ptr<MsgFile>> Open(Env& env, const std::string& path, const ReadLimits& limits = {});
  static Result<std::unique_ptr<MsgFile>> Open(std::unique_ptr<File> file, const ReadLimits& limits = {});
  ~MsgFile();

  const std::string& path() const { return file_->path(); }
  const Message& message() const { return *message_; }
  // Named properties of every object in the file, by their local ids.
  const NameMap& names() const { return names_; }
  // Things the reader skipped without failing (missing value streams, unresolvable names...).
  const std::vector<std::string>& notes() const { return notes_; }

 private:
  MsgFile() = default;
  std::unique_ptr<CompoundFile> file_;
  NameMap names_;
  std::vector<std::string> notes_;
  std::unique_ptr<Message> message_;
};

}  // namespace baleport::msg
