// libFuzzer entry: any bytes, opened as a store for extension (see open_store.h).
//
// Its mutator puts right, seven times in eight, the checksums and signatures a mutation broke
// (header, pages, and the blocks the block B-tree names), so that mutated stores get past those
// checks into the trees, heaps and tables behind them; the eighth is left as mutated, for the
// checks themselves.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "proof/fuzz/open_store.h"
#include "pst/disk/crc.h"
#include "pst/disk/layout.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace baleport::proof {
namespace {

namespace disk = pst::disk;

// Bounds the walk of a mutated block B-tree (it may loop or fan out).
constexpr int kMaxPages = 256, kMaxDepth = 8;

class Resealer {
 public:
  Resealer(uint8_t* data, size_t size) : data_(data), size_(size) {}

  void Run() {
    if (size_ < sizeof(disk::HEADER)) return;
    disk::HEADER h;
    std::memcpy(&h, data_, sizeof h);
    WalkBlockTree(h.root.BREFBBT.ib, 0);
    SealPages();
    h.dwCRCPartial = disk::Crc(data_ + disk::kHeaderPartialCrcOffset, disk::kHeaderPartialCrcSize);
    h.dwCRCFull = disk::Crc(data_ + disk::kHeaderFullCrcOffset, disk::kHeaderFullCrcSize);
    std::memcpy(data_, &h, sizeof h);
  }

 private:
  bool Inside(uint64_t ib, uint64_t n) const { return ib >= disk::kFirstAMapOffset && ib <= size_ && n <= size_ - ib; }

  void WalkBlockTree(uint64_t ib, int depth) {
    if (depth > kMaxDepth || ++pages_ > kMaxPages || ib % disk::kPageSize != 0 || !Inside(ib, disk::kPageSize)) return;
    const uint8_t* page = data_ + ib;
    disk::BTPAGE_COUNTS c;
    std::memcpy(&c, page + disk::kBTPageEntryBytes, sizeof c);
    const size_t need = c.cLevel > 0 ? sizeof(disk::BTENTRY) : sizeof(disk::BBTENTRY);
    if (c.cbEnt < need || c.cEnt * c.cbEnt > disk::kBTPageEntryBytes) return;
    for (uint32_t i = 0; i < c.cEnt; ++i) {
      const uint8_t* e = page + i * c.cbEnt;
      if (c.cLevel > 0) {
        disk::BTENTRY be;
        std::memcpy(&be, e, sizeof be);
        WalkBlockTree(be.BREF_.ib, depth + 1);
      } else {
        disk::BBTENTRY bb;
        std::memcpy(&bb, e, sizeof bb);
        const uint32_t n = disk::BlockDiskSize(bb.cb);
        if (bb.cb <= disk::kMaxBlockData && Inside(bb.BREF_.ib, n)) SealBlock(bb.BREF_.ib, bb.cb, n);
      }
    }
  }

  void SealBlock(uint64_t ib, uint16_t cb, uint32_t disk_size) {
    uint8_t* at = data_ + ib + disk_size - disk::kBlockTrailerSize;
    disk::BLOCKTRAILER t;
    std::memcpy(&t, at, sizeof t);
    t.wSig = disk::ComputeSig(ib, t.bid);
    t.dwCRC = disk::Crc(data_ + ib, cb);
    std::memcpy(at, &t, sizeof t);
  }

  void SealPages() {
    for (uint64_t ib = disk::kDListOffset; ib + disk::kPageSize <= size_; ib += disk::kPageSize) {
      uint8_t* page = data_ + ib;
      disk::PAGETRAILER t;
      std::memcpy(&t, page + disk::kPageDataSize, sizeof t);
      if (t.ptype != t.ptypeRepeat || t.ptype < disk::kPtypeBBT || t.ptype > disk::kPtypeDL) continue;
      if (t.ptype == disk::kPtypeBBT || t.ptype == disk::kPtypeNBT) t.wSig = disk::ComputeSig(ib, t.bid);
      t.dwCRC = disk::Crc(page, disk::kPageDataSize);
      std::memcpy(page + disk::kPageDataSize, &t, sizeof t);
    }
  }

  uint8_t* data_;
  size_t size_;
  int pages_ = 0;
};

}  // namespace
}  // namespace baleport::proof

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static baleport::testing::MemoryEnv env;
  (void)baleport::proof::OpenAndExtend(data, size, env);  // failing cleanly is a pass
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
  const size_t mutated = LLVMFuzzerMutate(data, size, max_size);
  if (seed % 8 != 0) baleport::proof::Resealer(data, mutated).Run();
  return mutated;
}
