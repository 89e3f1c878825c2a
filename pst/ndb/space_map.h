// Which 64-byte slots of the file are in use: the in-memory form of the AMaps (§2.2.2.7.2).
//
// Two bitmaps: what the working state uses, and what the last commit uses. Space is handed
// out only where both are free, so nothing the committed header can reach is ever overwritten.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pst/disk/layout.h"

namespace baleport::pst::ndb {

class SpaceMap {
 public:
  // A map of `sections` AMap sections, all slots free except the map pages themselves.
  explicit SpaceMap(uint64_t sections = 0);

  uint64_t sections() const { return sections_; }
  uint64_t file_end() const;
  uint64_t last_amap_offset() const;

  // Marks bytes [ib, ib+size) in use in both bitmaps (what an opened file already holds).
  // False when the range is outside the file or already marked.
  bool MarkExisting(uint64_t ib, uint64_t size);
  // Overwrites the slots of section k from an AMap page's bits (used, not yet validated ones).
  void MergeAMapBits(uint64_t k, const uint8_t* bits);

  // First-fit allocation of `size` bytes (multiple of 64) aligned to `align`; grows the file
  // by whole sections when nothing fits.
  uint64_t Allocate(uint64_t size, uint64_t align);
  // Frees bytes of the working state; committed space stays reserved until the next commit.
  void Free(uint64_t ib, uint64_t size);

  // The 496 bytes of AMap k to write now: used in the working state or by the last commit.
  void AMapBits(uint64_t k, uint8_t* out) const;
  // Free according to AMapBits, in the first `sections` sections (all when omitted).
  uint64_t FreeBytesForCommit(uint64_t sections = UINT64_MAX) const;
  uint32_t FreeSlotsLive(uint64_t k) const;
  // After the header of a commit is durable: the working state becomes the committed one.
  // Costs what changed since the last commit, not the size of the file.
  void CommitDone();
  // Sections whose map pages changed since they were last written (new ones included).
  bool SectionDirty(uint64_t k) const { return dirty_[k]; }
  void MarkSectionsWritten() { dirty_.assign(sections_, false); }

  static bool HasPMap(uint64_t k) { return k % 8 == 0; }
  static bool HasFMap(uint64_t k) { return k >= 128 && (k - 128) % 496 == 0; }
  static bool HasFPMap(uint64_t k) { return k >= 8192 && (k - 8192) % 31744 == 0; }
  static uint64_t AMapOffset(uint64_t k);
  // Map pages at the start of section k (AMap, and PMap/FMap/FPMap when due).
  static uint32_t MapPagesIn(uint64_t k);

 private:
  void AddSection();
  static bool Test(const std::vector<uint8_t>& v, uint64_t slot) {
    return (v[slot >> 3] & (0x80u >> (slot & 7))) != 0;
  }
  static void Set(std::vector<uint8_t>& v, uint64_t slot) { v[slot >> 3] |= static_cast<uint8_t>(0x80u >> (slot & 7)); }
  static void Clear(std::vector<uint8_t>& v, uint64_t slot) { v[slot >> 3] &= static_cast<uint8_t>(~(0x80u >> (slot & 7))); }
  bool SlotFree(uint64_t slot) const { return !Test(live_, slot) && !Test(committed_, slot); }
  // A search for runs of n slots (alignment class cls) found none in sections [from, to).
  void NoteNoFit(int cls, uint64_t from, uint64_t to, uint64_t n);
  // Notes the first free slot of [from, to), passed over by an allocation.
  void NoteHole(uint64_t from, uint64_t to);
  // Used slots of a section: in either state, and in the working state.
  struct Counts {
    uint32_t any = 0, live = 0;
  };
  const Counts& CountsOf(uint64_t k) const;
  // A run of slots of section `slot / kSlotsPerSection` changed.
  void Touch(uint64_t slot) {
    const uint64_t k = slot / disk::kSlotsPerSection;
    dirty_[k] = true;
    uncommitted_[k] = true;
    stale_[k] = true;
  }

  uint64_t sections_ = 0;
  std::vector<uint8_t> live_, committed_;  // MSB first, one bit per slot of all sections
  // Allocation is first-fit from cursor_: no slot below it is free, except the holes passed
  // over since the last commit (from hole_min_) and space freed that the last commit still
  // uses (from release_min_), which a commit gives back to the search.
  uint64_t cursor_ = 0;
  uint64_t hole_min_ = UINT64_MAX, release_min_ = UINT64_MAX;
  // Per section, more than its longest free run, for requests aligned to a slot [0] or to a
  // page [1]: searched once and found wanting, a section is passed over at once
  // until space is freed in it. Allocating only shortens runs, so the bound stays true.
  std::vector<uint32_t> longest_[2];
  static constexpr uint32_t kUnknownRun = UINT32_MAX;
  std::vector<bool> dirty_;        // map pages to write
  std::vector<bool> uncommitted_;  // sections whose two states may differ
  mutable std::vector<bool> stale_;
  mutable std::vector<Counts> counts_;
};

}  // namespace baleport::pst::ndb
