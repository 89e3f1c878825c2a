// Heap-on-node (§2.3.1): variable-size items inside a node's stream, addressed by HID.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace baleport::pst::ltp {

inline constexpr uint8_t kClientSigTC = 0x7C;
inline constexpr uint8_t kClientSigBTH = 0xB5;
inline constexpr uint8_t kClientSigPC = 0xBC;
inline constexpr uint32_t kMaxHeapItem = 3580;

constexpr bool IsHid(uint32_t hnid) { return (hnid & 0x1F) == 0; }

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
  explicit HeapBuilder(uint8_t client_sig) : client_sig_(client_sig) { blocks_.emplace_back(); }

  // Adds an item of at most 3580 bytes.
  Result<uint32_t> Allocate(std::string_view bytes);
  // Overwrites an item with bytes of the same size.
  void Replace(uint32_t hid, std::string_view bytes);
  void set_user_root(uint32_t hid) { user_root_ = hid; }
  // The HN blocks, each at most 8176 bytes.
  std::vector<std::string> Finish() const;

 private:
  struct Block {
    std::vector<std::string> items;
    size_t bytes = 0;
  };
  static size_t HeaderSize(size_t index);
  bool Fits(const Block& b, size_t index, size_t more) const;

  uint8_t client_sig_;
  uint32_t user_root_ = 0;
  std::vector<Block> blocks_;
};

}  // namespace baleport::pst::ltp
