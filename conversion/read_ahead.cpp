#include "conversion/read_ahead.h"

#include <string>
#include <utility>

#include "support/process.h"

namespace baleport {

ReadAhead::ReadAhead(StoreLibrary& library, std::vector<std::string_view> paths, ReadAheadLimits limits)
    : library_(library), paths_(std::move(paths)), limits_(limits), reader_([this] {
        ReuseFreedMemory();
        ReadAll();
      }) {}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  reader_.join();
}

void ReadAhead::ReadAll() {
  for (const std::string_view pathText : paths_) {
    const std::string path(pathText);
    // The identity is the open file's, so that it is the file that is read: the one opening
    // serves both, and the queue's bound is counted in its size before the read.
    Result<std::unique_ptr<File>> file = Env::Default()->OpenForRead(path);
    MessageRead read{pathText, file.ok() ? (*file)->Identity() : Result<FileIdentity>(file.status()), nullptr};
    const uint64_t size = Held(read);
    {
      // The bytes are counted before the read, so that the bound holds while reading; an
      // empty queue takes a message above the bound, alone.
      std::unique_lock lock(mutex_);
      for (;;) {
        changed_.wait(lock, [&] {
          return ending_ || !spent_.empty() || ready_.empty() ||
                 (ready_.size() < limits_.messages && bytesHeld_ + size <= limits_.bytes);
        });
        if (ending_) return;
        if (spent_.empty()) break;
        std::vector<MessageRead> spent = std::move(spent_);
        spent_.clear();
        lock.unlock();
        spent.clear();
        lock.lock();
      }
      bytesHeld_ += size;
    }
    read.source = library_.ReadSource(path, std::move(file));
    {
      const std::lock_guard lock(mutex_);
      ready_.push_back(std::move(read));
    }
    changed_.notify_all();
  }
}

const MessageRead& ReadAhead::Take() {
  std::unique_lock lock(mutex_);
  if (current_.source != nullptr) spent_.push_back(std::move(current_));
  current_ = {};
  if (taken_ == paths_.size()) return current_;  // nothing more will come: never wait for it
  ++taken_;
  changed_.wait(lock, [this] { return !ready_.empty(); });
  current_ = std::move(ready_.front());
  ready_.pop_front();
  bytesHeld_ -= Held(current_);
  lock.unlock();
  changed_.notify_all();
  return current_;
}

}  // namespace baleport
