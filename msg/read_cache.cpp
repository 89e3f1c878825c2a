#include "msg/read_cache.h"

#include <algorithm>
#include <cstring>

namespace baleport::msg {

ReadCache::ReadCache(std::unique_ptr<File> file, uint64_t size)
    : file_(std::move(file)), size_(size), block_size_(size <= kWholeFileLimit ? std::max<uint64_t>(size, 1) : kBlockSize) {}

Status ReadCache::Read(uint64_t offset, void* dst, size_t n) {
  if (n == 0) return Status::Ok();
  // Past the known end the file itself says what is wrong; a read of a block or more gains
  // nothing from a copy through the cache.
  if (bypass_ || offset > size_ || n > size_ - offset || (n >= block_size_ && block_size_ < size_)) {
    Status status = file_->Read(offset, dst, n);
    return status.ok() ? status : Failed(std::move(status));
  }
  return ReadBlocks(offset, static_cast<uint8_t*>(dst), n);
}

Status ReadCache::ReadBlocks(uint64_t offset, uint8_t* dst, size_t n) {
  while (n > 0) {
    Result<const Block*> block = Fetch(offset - offset % block_size_);
    if (!block.ok()) {
      // The block may reach parts that cannot be read (a file shorter than it was, a bad
      // sector) which this read does not need: it fails only if its own bytes do. The
      // file's reads go to it directly from now on, as blocks would fail again.
      bypass_ = true;
      Status status = file_->Read(offset, dst, n);
      return status.ok() ? status : Failed(std::move(status));
    }
    const uint64_t within = offset - (*block)->start;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(n, (*block)->data.size() - within));
    std::memcpy(dst, (*block)->data.data() + within, count);
    dst += count;
    offset += count;
    n -= count;
  }
  return Status::Ok();
}

Result<const ReadCache::Block*> ReadCache::Fetch(uint64_t start) {
  Block* victim = &blocks_[0];
  for (Block& b : blocks_) {
    if (b.last_use != 0 && b.start == start) {
      b.last_use = ++uses_;
      return &b;
    }
    if (b.last_use < victim->last_use) victim = &b;
  }
  victim->last_use = 0;
  victim->data.resize(static_cast<size_t>(std::min<uint64_t>(block_size_, size_ - start)));
  Status status = file_->Read(start, victim->data.data(), victim->data.size());
  if (!status.ok()) return status;
  victim->start = start;
  victim->last_use = ++uses_;
  return victim;
}

Status ReadCache::Failed(Status status) {
  ++failures_;
  last_error_ = status;
  return status;
}

}  // namespace baleport::msg
