#include "pst/ltp/property_context.h"

#include "pst/ltp/bth.h"
#include "support/little_endian.h"

namespace baleport::pst::ltp {


Result<PropertyMap> ReadPropertyContext(const Heap& heap, const SubnodeSource& subnodes) {
  if (heap.client_sig() != kClientSigPC) return Status::Error(heap.where() + ": not a property context");
  auto records = ReadBth(heap, heap.user_root(), BthShape{2, 6});
  if (!records.ok()) return records.status();
  PropertyMap out;
  for (const std::string& r : *records) {
    uint16_t id = LoadLe<uint16_t>(r, 0), type = LoadLe<uint16_t>(r, 2);
    uint32_t hnid = LoadLe<uint32_t>(r, 4);
    PropertyValue v;
    v.type = type;
    if (PcInline(type)) {
      v.data = r.substr(4, FixedSize(type));
    } else if (IsHid(hnid)) {
      auto item = heap.Get(hnid);
      if (!item.ok()) return item.status();
      v.data.assign(item->data(), item->size());
    } else {
      auto s = subnodes(hnid);
      if (!s.ok()) return s.status();
      v.data = std::move(*s);
    }
    if (uint32_t n = FixedSize(type); n > 0 && v.data.size() != n) {
      return Status::Error(heap.where() + ": property " + std::to_string(id) + " has a value of the wrong size");
    }
    out[id] = std::move(v);
  }
  return out;
}

Result<std::vector<std::string>> BuildPropertyContext(const PropertyMap& props, const BigValueSink& big) {
  // Laid out as Outlook does: the BTH header first (HID 0x20, the user root), an item's message
  // class next when it has one (Outlook creates an item with its class), the property records,
  // then the values.
  constexpr uint16_t kMessageClass = 0x001A;
  HeapBuilder heap(kClientSigPC);
  auto header = heap.Allocate(std::string(8, '\0'));
  if (!header.ok()) return header.status();
  heap.set_user_root(*header);
  uint32_t class_hid = 0;
  if (auto c = props.find(kMessageClass);
      c != props.end() && !PcInline(c->second.type) && !c->second.subnode && !c->second.data.empty() &&
      c->second.data.size() <= kMaxHeapValue) {
    auto hid = heap.Allocate(c->second.data);
    if (!hid.ok()) return hid.status();
    class_hid = *hid;
  }
  std::vector<std::string> records;
  for (const auto& [id, v] : props) {
    std::string r;
    AppendLe<uint16_t>(r, id);
    AppendLe<uint16_t>(r, v.type);
    AppendLe<uint32_t>(r, 0);
    records.push_back(std::move(r));
  }
  auto leaves = BuildBth(heap, *header, BthShape{2, 6}, records);
  if (!leaves.ok()) return leaves.status();
  size_t n = 0;
  for (const auto& [id, v] : props) {
    // An empty value is HNID 0: no zero-length item, which some readers take for a subnode.
    uint32_t hnid = 0;
    if (PcInline(v.type)) {
      std::string val = v.data;
      val.resize(4, '\0');
      hnid = LoadLe<uint32_t>(val, 0);
    } else if (v.subnode) {
      hnid = v.subnode;
    } else if (v.data.size() > kMaxHeapValue) {
      auto nid = big(v.data);
      if (!nid.ok()) return nid.status();
      hnid = *nid;
    } else if (id == kMessageClass && class_hid) {
      hnid = class_hid;
    } else if (!v.data.empty()) {
      auto hid = heap.Allocate(v.data);
      if (!hid.ok()) return hid.status();
      hnid = *hid;
    }
    StoreLe<uint32_t>(records[n++].data() + 4, hnid);
  }
  RefillBthLeaves(heap, *leaves, BthShape{2, 6}, records);
  return heap.Finish();
}

}  // namespace baleport::pst::ltp
