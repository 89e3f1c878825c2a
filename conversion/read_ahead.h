// The message files of a run read on a thread of their own while the store writes the
// message before them: the store's work and the reading share two cores. What is read waits
// in a queue bounded both by count and by bytes, so memory stays bounded whatever the
// messages' size (a single message larger than the bound is still read, alone).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "conversion/store/store_interface.h"
#include "support/file_identity.h"

namespace baleport {

// One message file as read ahead: the file as it was before it was read (what the check
// before its deletion compares with), and what the store read of it.
struct MessageRead {
  std::string_view path;
  Result<FileIdentity> identity = Status::Error("not read");
  std::unique_ptr<SourceRead> source;  // null when the store reads only at import
};

struct ReadAheadLimits {
  size_t messages = 8;
  uint64_t bytes = 64u << 20;  // counted as the files' sizes
};

class ReadAhead {
 public:
  // Starts reading `paths` in order with `library.ReadSource`; the paths' text must outlive
  // this object.
  ReadAhead(StoreLibrary& library, std::vector<std::string_view> paths, ReadAheadLimits limits = {});
  // Drops what was read and not taken, and ends the reading once the file being read is.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next path's reading, waiting for it; the paths are taken in the order given. Past
  // the last path, an empty read (no path, no identity). It stays valid until the next Take,
  // which hands it back to the reading thread to free: the store's thread has better things
  // to do.
  const MessageRead& Take();

 private:
  void ReadAll();
  static uint64_t Held(const MessageRead& read) { return read.identity.ok() ? read.identity->size : 0; }

  StoreLibrary& library_;
  const std::vector<std::string_view> paths_;
  const ReadAheadLimits limits_;
  size_t taken_ = 0;  // used by the taking thread only
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<MessageRead> ready_;  // guarded by mutex_, as are the two below
  uint64_t bytesHeld_ = 0;  // of the messages ready and the one being read
  MessageRead current_;  // used by the taking thread only
  std::vector<MessageRead> spent_;  // taken and done with, for the reader to free
  bool ending_ = false;
  std::thread reader_;  // last: started once everything above is
};

}  // namespace baleport
