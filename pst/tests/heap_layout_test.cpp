// Every heap of a store is laid out as Outlook lays out its own: in a property context the BTH
// header first (0x20, the user root), its records next (after the message class, which Outlook
// allocates first), values after; in a table context the row index's BTH header at 0x20,
// TCINFO at 0x40, the index records from 0x60, a row matrix kept in the heap next, cells
// after (in a table grown by appending rows, index records that outgrew their block move to
// the heap's end). Blocks follow RawHeap's rules, and no block of the file is empty. Stricter
// readers (java-libpst) rely on this; the Outlook-made samples show the rules are Outlook's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "import/msg_to_item.h"
#include "mapi/tags.h"
#include "pst/disk/layout.h"
#include "pst/ltp/table_context.h"
#include "pst/ndb/node_database.h"
#include "pst/tests/heap_layout.h"
#include "pst/tests/store_testing.h"
#include "support/hex.h"

namespace baleport::pst::testing {
namespace {

namespace fs = std::filesystem;

// The HIDs of a BTH's items below its header: index items, then leaves, the leftmost first.
void BthItems(const RawHeap& heap, uint32_t hid, int levels, size_t key_size, std::vector<uint32_t>& out, int budget = 10) {
  if (hid == 0 || budget == 0) return;
  out.push_back(hid);
  if (levels == 0) return;
  const std::string_view item = heap.Item(hid);
  for (size_t off = 0; off + key_size + 4 <= item.size(); off += key_size + 4) {
    BthItems(heap, LoadLe<uint32_t>(item.data() + off + key_size), levels - 1, key_size, out, budget - 1);
  }
}

// The BTH under the header at `header_hid`: its items, and the leftmost leaf (0 when empty).
std::pair<std::vector<uint32_t>, uint32_t> Bth(const RawHeap& heap, uint32_t header_hid) {
  const std::string_view h = heap.Item(header_hid);
  if (h.size() != 8 || static_cast<uint8_t>(h[0]) != 0xB5) return {};
  std::vector<uint32_t> items;
  BthItems(heap, LoadLe<uint32_t>(h.data() + 4), static_cast<uint8_t>(h[3]), static_cast<uint8_t>(h[1]), items);
  uint32_t leftmost = 0;
  for (size_t i = 0, level = static_cast<uint8_t>(h[3]); i < items.size(); ++i) {
    if (level-- == 0) {
      leftmost = items[i];
      break;
    }
  }
  return {items, leftmost};
}

// What breaks the allocation order of one heap.
std::vector<std::string> OrderFaults(const RawHeap& heap) {
  std::vector<std::string> faults;
  if (heap.client_sig() == 0xBC) {
    if (heap.user_root() != 0x20) return {"property context's user root is " + HexNumber(heap.user_root())};
    auto [items, leftmost] = Bth(heap, 0x20);
    if (items.empty()) return faults;
    // Outlook allocates an item's message class (0x001A) before its records.
    uint32_t class_hid = 0;
    for (uint32_t hid : items) {
      const std::string_view leaf = heap.Item(hid);
      for (size_t off = 0; leftmost == hid && off + 8 <= leaf.size(); off += 8) {
        if (LoadLe<uint16_t>(leaf.data() + off) == 0x001A) class_hid = LoadLe<uint32_t>(leaf.data() + off + 4);
      }
    }
    if (leftmost != 0x40 && !(leftmost == 0x60 && class_hid == 0x40)) faults.push_back("first records at " + HexNumber(leftmost));
    const uint32_t last = *std::max_element(items.begin(), items.end());
    for (const auto& [hid, bytes] : heap.items()) {
      if (hid < last && hid != 0x20 && hid != class_hid && std::find(items.begin(), items.end(), hid) == items.end() && !bytes.empty()) {
        faults.push_back("value " + HexNumber(hid) + " before the records at " + HexNumber(last));
      }
    }
  } else if (heap.client_sig() == 0x7C) {
    if (heap.user_root() != 0x40) return {"table context's TCINFO is at " + HexNumber(heap.user_root())};
    auto info = ltp::ParseTcInfo(heap.Item(0x40), "table");
    if (!info.ok()) return {info.status().message()};
    if (info->hid_row_index != 0x20) faults.push_back("row index at " + HexNumber(info->hid_row_index));
    auto [items, leftmost] = Bth(heap, 0x20);
    if (info->hnid_rows != 0 && ltp::IsHid(info->hnid_rows)) {
      // A table kept whole in its heap; one with its rows in a subnode may have had rows
      // appended, its index records moved to the heap's end as they outgrew their block.
      if (leftmost != 0x60) faults.push_back("first index records at " + HexNumber(leftmost));
      for (const auto& [hid, bytes] : heap.items()) {
        const bool before = hid < info->hnid_rows, structure = hid <= 0x40 || std::find(items.begin(), items.end(), hid) != items.end();
        if (before != structure && !bytes.empty()) faults.push_back("item " + HexNumber(hid) + " on the wrong side of the row matrix");
      }
    }
  }
  return faults;
}

// Every heap of the store (nodes and their subnodes) and every block, against the rules.
std::vector<std::string> LayoutFaults(const std::string& path) {
  std::vector<std::string> faults;
  auto db = Must(ndb::NodeDatabase::Open(Must(Env::Default()->OpenForRead(path))));
  for (const auto& [bid, info] : db->blocks()) {
    if (info.cb == 0) faults.push_back("block " + HexNumber(bid) + " is empty");
  }
  std::function<void(uint32_t, uint64_t, uint64_t, const std::string&)> node = [&](uint32_t nid, uint64_t data, uint64_t sub,
                                                                                    const std::string& where) {
    if (data != 0 && disk::NidTypeOf(nid) != disk::kNidTypeLtp) {
      std::vector<std::string> blocks;
      for (uint64_t leaf : Must(db->DataTreeLeaves(data))) blocks.push_back(Must(db->ReadBlock(leaf)));
      RawHeap heap;
      if (heap.Parse(blocks)) {
        for (const std::string& f : heap.BlockFaults()) faults.push_back(where + ": " + f);
        for (const std::string& f : OrderFaults(heap)) faults.push_back(where + ": " + f);
      }
    }
    if (sub == 0) return;
    for (const auto& [child, e] : Must(db->ReadSubnodes(sub))) node(child, e.bid_data, e.bid_sub, where + " subnode " + HexNumber(child));
  };
  for (const auto& [nid, n] : db->nodes()) node(nid, n.bid_data, n.bid_sub, "node " + HexNumber(nid));
  return faults;
}

std::vector<std::string> OutlookSamples() {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(PST_SAMPLES_DIR) / "pst", ec)) {
    if (e.path().extension() == ".pst" && Store::Open(e.path().string(), StoreOptions{nullptr, true}).ok()) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Imports every sample message into `folder`, then 500 small items over two commits (table
// rows appended, heaps of several blocks).
void AddItems(Store& store, FolderId folder) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::path(PST_SAMPLES_DIR) / "msg", ec)) {
    auto item = Must(store.NewMessage(folder));
    MustOk(import::ImportMessageFile(e.path().string(), *item, store).status());
    MustOk(item->Save());
  }
  for (int i = 0; i < 500; ++i) {
    auto m = Must(store.NewMessage(folder));
    MustOk(m->Set(prop::String(mapi::tags::kSubject, i % 7 ? "item " + std::to_string(i) : "")));
    MustOk(m->Save());
    if (i == 250) MustOk(store.Commit());
  }
}

TEST(HeapLayout, OutlookSamplesFollowTheRules) {
  const auto samples = OutlookSamples();
  if (samples.empty()) GTEST_SKIP() << "no Unicode samples in " PST_SAMPLES_DIR "/pst";
  for (const std::string& sample : samples) EXPECT_EQ(LayoutFaults(sample), std::vector<std::string>()) << sample;
}

TEST(HeapLayout, FreshStoreAndStoreOfSampleMessages) {
  const std::string dir = TempDir("layout");
  {
    auto store = Must(Store::Create(dir + "/empty.pst", "Empty"));
    MustOk(store->Close());
  }
  EXPECT_EQ(LayoutFaults(dir + "/empty.pst"), std::vector<std::string>());
  VerifiedDump(dir + "/empty.pst");
  if (!fs::exists(fs::path(PST_SAMPLES_DIR) / "msg")) GTEST_SKIP() << "no samples in " PST_SAMPLES_DIR "/msg";
  {
    auto store = Must(Store::Create(dir + "/samples.pst", "Samples"));
    MustOk(store->EnsureStandardFolders());
    AddItems(*store, Must(store->DefaultFolder(StandardFolder::kInbox)));
    MustOk(store->Close());
  }
  EXPECT_EQ(LayoutFaults(dir + "/samples.pst"), std::vector<std::string>());
  VerifiedDump(dir + "/samples.pst");
}

TEST(HeapLayout, OutlookSamplesAddedTo) {
  const auto samples = OutlookSamples();
  if (samples.empty()) GTEST_SKIP() << "no Unicode samples in " PST_SAMPLES_DIR "/pst";
  for (const std::string& sample : samples) {
    const std::string path = TempDir("layout-added") + "/" + fs::path(sample).filename().string();
    fs::copy_file(sample, path);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    {
      auto store = Must(Store::Open(path));
      AddItems(*store, Must(store->AddFolder(store->ipm_subtree(), "Added")));
      MustOk(store->Close());
    }
    EXPECT_EQ(LayoutFaults(path), std::vector<std::string>()) << sample;
    VerifiedDump(path);
  }
}

}  // namespace
}  // namespace baleport::pst::testing
