#include "pst/ndb/space_map.h"

#include <algorithm>
#include <bit>

#include "pst/disk/layout.h"

namespace baleport::pst::ndb {

using namespace disk;

SpaceMap::SpaceMap(uint64_t sections) {
  for (uint64_t k = 0; k < sections; ++k) AddSection();
}

uint64_t SpaceMap::AMapOffset(uint64_t k) { return kFirstAMapOffset + k * kSectionSize; }
uint64_t SpaceMap::file_end() const { return AMapOffset(sections_); }
uint64_t SpaceMap::last_amap_offset() const { return AMapOffset(sections_ - 1); }

uint32_t SpaceMap::MapPagesIn(uint64_t k) {
  return 1 + (HasPMap(k) ? 1 : 0) + ((HasFMap(k) || HasFPMap(k)) ? 1 : 0);
}

void SpaceMap::AddSection() {
  uint64_t k = sections_++;
  dirty_.push_back(true);
  live_.resize(sections_ * kSlotsPerSection / 8, 0);
  committed_.resize(live_.size(), 0);
  uint64_t first = k * kSlotsPerSection;
  for (uint64_t s = 0; s < MapPagesIn(k) * (kPageSize / kSlotSize); ++s) {
    Set(live_, first + s);
    Set(committed_, first + s);
  }
}

bool SpaceMap::MarkExisting(uint64_t ib, uint64_t size) {
  // Written so that an offset near 2^64 cannot wrap around the end check.
  if (ib < kFirstAMapOffset || size == 0 || ib % kSlotSize != 0 || ib > file_end() || size > file_end() - ib) return false;
  uint64_t first = (ib - kFirstAMapOffset) / kSlotSize;
  uint64_t n = (size + kSlotSize - 1) / kSlotSize;
  bool clean = true;
  for (uint64_t s = first; s < first + n; ++s) {
    Touch(s);
    if (Test(committed_, s) && Test(live_, s)) clean = false;
    Set(live_, s);
    Set(committed_, s);
  }
  return clean;
}

void SpaceMap::MergeAMapBits(uint64_t k, const uint8_t* bits) {
  for (uint32_t i = 0; i < kPageDataSize; ++i) {
    live_[k * kPageDataSize + i] |= bits[i];
    committed_[k * kPageDataSize + i] |= bits[i];
  }
}

uint64_t SpaceMap::Allocate(uint64_t size, uint64_t align) {
  const uint64_t n = size / kSlotSize;
  const uint64_t step = align / kSlotSize;
  for (;;) {
    const uint64_t total = sections_ * kSlotsPerSection;
    uint64_t s = (cursor_ + step - 1) / step * step;
    while (s + n <= total) {
      // Skip whole used bytes quickly.
      if ((s & 7) == 0 && (live_[s >> 3] | committed_[s >> 3]) == 0xFF) {
        s += 8;
        continue;
      }
      uint64_t run = 0;
      while (run < n && SlotFree(s + run)) ++run;
      if (run == n) {
        for (uint64_t i = 0; i < n; ++i) Set(live_, s + i);
        Touch(s);
        cursor_ = s + n;
        return kFirstAMapOffset + s * kSlotSize;
      }
      s = (s + run + 1 + step - 1) / step * step;
    }
    cursor_ = sections_ * kSlotsPerSection;
    AddSection();
  }
}

void SpaceMap::Free(uint64_t ib, uint64_t size) {
  uint64_t first = (ib - kFirstAMapOffset) / kSlotSize;
  for (uint64_t s = first; s < first + size / kSlotSize; ++s) Clear(live_, s);
  Touch(first);
  if (first < cursor_ && !Test(committed_, first)) cursor_ = first;
}

void SpaceMap::AMapBits(uint64_t k, uint8_t* out) const {
  for (uint32_t i = 0; i < kPageDataSize; ++i) {
    out[i] = live_[k * kPageDataSize + i] | committed_[k * kPageDataSize + i];
  }
}

uint64_t SpaceMap::FreeBytesForCommit(uint64_t sections) const {
  sections = std::min(sections, sections_);
  uint64_t used = 0;
  for (size_t i = 0; i < sections * kPageDataSize; ++i) used += std::popcount(static_cast<unsigned>(live_[i] | committed_[i]));
  return (sections * kSlotsPerSection - used) * kSlotSize;
}

uint32_t SpaceMap::FreeSlotsLive(uint64_t k) const {
  uint32_t used = 0;
  for (uint32_t i = 0; i < kPageDataSize; ++i) used += std::popcount(static_cast<unsigned>(live_[k * kPageDataSize + i]));
  return kSlotsPerSection - used;
}

void SpaceMap::CommitDone() {
  committed_ = live_;
  cursor_ = 0;
}

}  // namespace baleport::pst::ndb
