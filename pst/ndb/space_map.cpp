#include "pst/ndb/space_map.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
  uncommitted_.push_back(false);
  stale_.push_back(true);
  counts_.emplace_back();
  for (auto& l : longest_) l.push_back(kUnknownRun);
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
  stale_[k] = true;
}

void SpaceMap::NoteNoFit(int cls, uint64_t from, uint64_t to, uint64_t n) {
  for (uint64_t k = from; k < to; ++k) longest_[cls][k] = std::min<uint32_t>(longest_[cls][k], static_cast<uint32_t>(n));
}

void SpaceMap::NoteHole(uint64_t from, uint64_t to) {
  for (uint64_t s = from; s < to && s < hole_min_; ++s) {
    if (SlotFree(s)) {
      hole_min_ = s;
      return;
    }
  }
}

uint64_t SpaceMap::Allocate(uint64_t size, uint64_t align) {
  const uint64_t n = size / kSlotSize;
  const uint64_t step = align / kSlotSize;
  for (;;) {
    const uint64_t total = sections_ * kSlotsPerSection;
    uint64_t s = (cursor_ + step - 1) / step * step;
    NoteHole(cursor_, s);
    // Sections from `whole` on are searched from their start.
    const int cls = step > 1 ? 1 : 0;
    const uint64_t whole = (s + kSlotsPerSection - 1) / kSlotsPerSection;
    while (s + n <= total) {
      if (s % kSlotsPerSection == 0 && longest_[cls][s / kSlotsPerSection] <= n) {
        s += kSlotsPerSection;
        continue;
      }
      // Skip whole used words and bytes quickly.
      if ((s & 63) == 0 && s + 64 <= total) {
        uint64_t live, committed;
        std::memcpy(&live, &live_[s >> 3], 8);
        std::memcpy(&committed, &committed_[s >> 3], 8);
        if ((live | committed) == ~uint64_t{0}) {
          s += 64;
          continue;
        }
      }
      if ((s & 7) == 0 && (live_[s >> 3] | committed_[s >> 3]) == 0xFF) {
        s += 8;
        continue;
      }
      // A block's 128 slots are looked at and marked a byte of them at a time where they can be.
      uint64_t run = 0;
      while (run < n) {
        const uint64_t at = s + run;
        if ((at & 7) == 0 && n - run >= 8 && (live_[at >> 3] | committed_[at >> 3]) == 0) {
          run += 8;
        } else if (SlotFree(at)) {
          ++run;
        } else {
          break;
        }
      }
      if (run == n) {
        NoteNoFit(cls, whole, s / kSlotsPerSection, n);
        for (uint64_t i = 0; i < n;) {
          if (((s + i) & 7) == 0 && n - i >= 8) {
            live_[(s + i) >> 3] = 0xFF;
            i += 8;
          } else {
            Set(live_, s + i++);
          }
        }
        Touch(s);
        cursor_ = s + n;
        return kFirstAMapOffset + s * kSlotSize;
      }
      const uint64_t next = (s + run + 1 + step - 1) / step * step;
      NoteHole(s, std::min(next, total));
      s = next;
    }
    NoteHole(s, total);
    NoteNoFit(cls, whole, sections_, n);
    cursor_ = sections_ * kSlotsPerSection;
    AddSection();
  }
}

void SpaceMap::Free(uint64_t ib, uint64_t size) {
  uint64_t first = (ib - kFirstAMapOffset) / kSlotSize;
  for (uint64_t s = first; s < first + size / kSlotSize; ++s) Clear(live_, s);
  Touch(first);
  for (auto& l : longest_) l[first / kSlotsPerSection] = kUnknownRun;
  if (Test(committed_, first)) {
    release_min_ = std::min(release_min_, first);
  } else if (first < cursor_) {
    cursor_ = first;
  }
}

void SpaceMap::AMapBits(uint64_t k, uint8_t* out) const {
  for (uint32_t i = 0; i < kPageDataSize; ++i) {
    out[i] = live_[k * kPageDataSize + i] | committed_[k * kPageDataSize + i];
  }
}

const SpaceMap::Counts& SpaceMap::CountsOf(uint64_t k) const {
  if (stale_[k]) {
    Counts c;
    for (uint32_t i = 0; i < kPageDataSize; i += 8) {
      uint64_t live, committed;
      std::memcpy(&live, &live_[k * kPageDataSize + i], 8);
      std::memcpy(&committed, &committed_[k * kPageDataSize + i], 8);
      c.any += static_cast<uint32_t>(std::popcount(live | committed));
      c.live += static_cast<uint32_t>(std::popcount(live));
    }
    counts_[k] = c;
    stale_[k] = false;
  }
  return counts_[k];
}

uint64_t SpaceMap::FreeBytesForCommit(uint64_t sections) const {
  sections = std::min(sections, sections_);
  uint64_t used = 0;
  for (uint64_t k = 0; k < sections; ++k) used += CountsOf(k).any;
  return (sections * kSlotsPerSection - used) * kSlotSize;
}

uint32_t SpaceMap::FreeSlotsLive(uint64_t k) const { return kSlotsPerSection - CountsOf(k).live; }

void SpaceMap::CommitDone() {
  for (uint64_t k = 0; k < sections_; ++k) {
    if (!uncommitted_[k]) continue;
    std::memcpy(&committed_[k * kPageDataSize], &live_[k * kPageDataSize], kPageDataSize);
    uncommitted_[k] = false;
    stale_[k] = true;
    for (auto& l : longest_) l[k] = kUnknownRun;
  }
  cursor_ = std::min({cursor_, hole_min_, release_min_});
  hole_min_ = release_min_ = UINT64_MAX;
}

}  // namespace baleport::pst::ndb
