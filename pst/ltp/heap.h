// Heap-on-node (§2.3.1): variable-size items inside a node's stream, addressed by HID.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "pst/disk/layout.h"
#include "support/status.h"

namespace baleport::pst::ltp {

inline constexpr uint8_t kClientSigTC = 0x7C;
inline constexpr uint8_t kClientSigBTH = 0xB5;
inline constexpr uint8_t kClientSigPC = 0xBC;
inline constexpr uint32_t kMaxHeapItem = 3580;
// Values larger than this go to a subnode: Outlook's own stores hold none over about 800 bytes
// in a heap and none under about 1,200 in a subnode.
inline constexpr uint32_t kMaxHeapValue = 1024;

constexpr bool IsHid(uint32_t hnid) { return (hnid & 0x1F) == 0; }

// The items of one heap block, held in the arena of the heap being built or edited: a table
// append makes thousands of small items at once, and one allocation each cost more the more
// the process held.
using HeapItems = std::pmr::vector<std::pmr::string>;

class Heap {
 public:
  // Checks every block's header and allocation map; `where` names the node in errors.
  static Result<Heap> Parse(std::vector<std::string> blocks, std::string where);

  uint8_t client_sig() const { return client_sig_; }
  uint32_t user_root() const { return user_root_; }
  // The bytes of an item; HID 0 is the empty item.
  Result<std::string_view> Get(uint32_t hid) const;
  const std::string& where() const { return where_; }

 private:
  std::vector<std::string> blocks_;
  std::vector<std::vector<uint16_t>> allocs_;
  uint8_t client_sig_ = 0;
  uint32_t user_root_ = 0;
  std::string where_;
};

class HeapBuilder {
 public:
  explicit HeapBuilder(uint8_t client_sig) : client_sig_(client_sig) {
    blocks_.emplace_back(arena_.get());
    blocks_.back().items.reserve(kItemsReserved);
  }

  // Adds an item of at most 3580 bytes.
  Result<uint32_t> Allocate(std::string_view bytes);
  // Overwrites an item with bytes of the same size.
  void Replace(uint32_t hid, std::string_view bytes);
  void set_user_root(uint32_t hid) { user_root_ = hid; }
  // The HN blocks: each but the last a full 8176 bytes, as Outlook fills them; fill levels
  // set, a single block's included.
  std::vector<std::string> Finish() const;

 private:
  struct Block {
    explicit Block(std::pmr::memory_resource* arena) : items(arena) {}
    HeapItems items;
    size_t bytes = 0;
  };
  bool Fits(const Block& b, size_t index, size_t more) const;

  // A block's items and their bytes, as most heaps hold them, had from the arena at once: grown
  // item by item the array was moved at each doubling and the arena asked again and again.
  static constexpr size_t kItemsReserved = 64;
  std::unique_ptr<std::pmr::monotonic_buffer_resource> arena_ =
      std::make_unique<std::pmr::monotonic_buffer_resource>(disk::kMaxBlockData + kItemsReserved * sizeof(std::pmr::string));
  uint8_t client_sig_;
  uint32_t user_root_ = 0;
  std::vector<Block> blocks_;
};

// Changes a stored heap without reading or rebuilding all of it: a block is read when an item
// in it is first asked for, new items go to the last block (or a new one), and Finish gives
// only the blocks that changed, fill levels included (a last block that gains a successor
// changes: it is padded to full size).
class HeapEditor {
 public:
  using BlockReader = std::function<Result<std::string>(size_t index)>;
  HeapEditor(size_t block_count, BlockReader read, std::string where)
      : count_(block_count), stored_count_(block_count), read_(std::move(read)), where_(std::move(where)) {}

  size_t block_count() const { return count_; }
  const std::string& where() const { return where_; }
  Result<uint8_t> client_sig();
  Result<uint32_t> user_root();
  Result<std::string_view> Get(uint32_t hid);
  Result<uint32_t> Allocate(std::string_view bytes);
  // Gives the item new bytes; false (item unchanged) when its block has no room for them.
  Result<bool> Replace(uint32_t hid, std::string_view bytes);
  // Leaves the item empty: HIDs are positions in a block's page map, so it cannot go.
  Status Free(uint32_t hid);
  // The changed and added blocks by index (added ones numbered on from the old count).
  Result<std::map<size_t, std::string>> Finish();

 private:
  struct Block {
    explicit Block(std::pmr::memory_resource* arena) : items(arena) {}
    std::string header;  // HNHDR, HNPAGEHDR or HNBITMAPHDR as stored
    HeapItems items;
    size_t bytes = 0;  // of the items
    uint16_t freed = 0;
    bool dirty = false;
  };
  Result<Block*> Load(size_t index);
  Result<std::pair<Block*, size_t>> Item(uint32_t hid);

  size_t count_, stored_count_;
  BlockReader read_;
  std::string where_;
  std::unique_ptr<std::pmr::monotonic_buffer_resource> arena_ = std::make_unique<std::pmr::monotonic_buffer_resource>();
  std::map<size_t, Block> blocks_;
};

}  // namespace baleport::pst::ltp
