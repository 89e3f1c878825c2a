#include "pst/ltp/table_context.h"

#include <algorithm>
#include <cstring>

#include "pst/disk/bytes.h"
#include "pst/disk/layout.h"
#include "pst/ltp/bth.h"

namespace baleport::pst::ltp {

using disk::Append;
using disk::Load;

namespace {

constexpr size_t kTcInfoSize = 22;

uint16_t TagType(uint32_t tag) { return static_cast<uint16_t>(tag & 0xFFFF); }

}  // namespace

std::string PackCells(const Cells& cells) {
  std::string out;
  for (const auto& c : cells) {
    if (!c) {
      out.push_back('\0');
      continue;
    }
    out.push_back('\1');
    Append<uint32_t>(out, static_cast<uint32_t>(c->size()));
    out += *c;
  }
  return out;
}

Cells UnpackCells(std::string_view packed, size_t columns) {
  Cells cells(columns);
  size_t pos = 0;
  for (size_t i = 0; i < columns && pos < packed.size(); ++i) {
    if (packed[pos++] == '\0') continue;
    uint32_t n = Load<uint32_t>(packed.data() + pos);
    pos += 4;
    cells[i] = std::string(packed.substr(pos, n));
    pos += n;
  }
  return cells;
}

std::vector<TableColumn> Table::Layout(std::vector<uint32_t> tags) {
  tags.erase(std::remove_if(tags.begin(), tags.end(), [](uint32_t t) { return t == kTagLtpRowId || t == kTagLtpRowVer; }),
             tags.end());
  std::sort(tags.begin(), tags.end());
  tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
  std::vector<TableColumn> cols;
  cols.push_back({kTagLtpRowId, 0, 4, 0});
  cols.push_back({kTagLtpRowVer, 4, 4, 1});
  uint16_t off = 8;
  uint8_t bit = 2;
  for (uint8_t width : {8, 4, 2, 1}) {
    for (uint32_t t : tags) {
      uint8_t w = TcCellSize(TagType(t));
      if (w != width) continue;
      cols.push_back({t, off, w, bit++});
      off = static_cast<uint16_t>(off + w);
    }
  }
  std::sort(cols.begin(), cols.end(), [](const TableColumn& a, const TableColumn& b) { return a.tag < b.tag; });
  return cols;
}

int Table::ColumnIndex(uint32_t tag) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].tag == tag) return static_cast<int>(i);
  }
  return -1;
}

void Table::AddColumns(const std::vector<uint32_t>& tags) {
  std::vector<uint32_t> all;
  for (const auto& c : columns) all.push_back(c.tag);
  bool added = false;
  for (uint32_t t : tags) {
    if (ColumnIndex(t) < 0 && std::find(all.begin(), all.end(), t) == all.end()) {
      all.push_back(t);
      added = true;
    }
  }
  if (!added) return;
  std::vector<TableColumn> next = Layout(all);
  std::vector<int> from(next.size());
  for (size_t i = 0; i < next.size(); ++i) from[i] = ColumnIndex(next[i].tag);
  for (auto& row : rows) {
    Cells old = UnpackCells(row.packed, columns.size());
    Cells cells(next.size());
    for (size_t i = 0; i < next.size(); ++i) {
      if (from[i] >= 0) cells[i] = std::move(old[from[i]]);
    }
    row.packed = PackCells(cells);
  }
  columns = std::move(next);
}

uint16_t Table::RowSize() const {
  uint16_t end = 0;
  for (const auto& c : columns) end = std::max<uint16_t>(end, static_cast<uint16_t>(c.offset + c.size));
  return static_cast<uint16_t>(end + (columns.size() + 7) / 8);
}

Result<Table> ReadTableContext(const Heap& heap, const SubnodeSource& subnodes) {
  const std::string& where = heap.where();
  if (heap.client_sig() != kClientSigTC) return Status::Error(where + ": not a table context");
  auto info = heap.Get(heap.user_root());
  if (!info.ok()) return info.status();
  if (info->size() < kTcInfoSize || static_cast<uint8_t>((*info)[0]) != kClientSigTC) {
    return Status::Error(where + ": table header is invalid");
  }
  const uint8_t ncols = static_cast<uint8_t>((*info)[1]);
  if (info->size() < kTcInfoSize + 8u * ncols) return Status::Error(where + ": table header is truncated");
  const uint16_t row_size = Load<uint16_t>(info->data() + 8);
  const uint16_t fixed_end = Load<uint16_t>(info->data() + 6);
  const uint32_t hid_index = Load<uint32_t>(info->data() + 10);
  const uint32_t hnid_rows = Load<uint32_t>(info->data() + 14);
  Table t;
  for (uint32_t i = 0; i < ncols; ++i) {
    const char* d = info->data() + kTcInfoSize + 8 * i;
    TableColumn c{Load<uint32_t>(d), Load<uint16_t>(d + 4), static_cast<uint8_t>(d[6]), static_cast<uint8_t>(d[7])};
    if (c.offset + c.size > fixed_end || c.bit >= ncols || fixed_end + (ncols + 7) / 8 > row_size) {
      return Status::Error(where + ": table column " + std::to_string(i) + " lies outside the row");
    }
    if (!t.columns.empty() && c.tag <= t.columns.back().tag) return Status::Error(where + ": table columns out of order");
    t.columns.push_back(c);
  }
  auto index = ReadBth(heap, hid_index, BthShape{4, 4});
  if (!index.ok()) return index.status();
  if (row_size == 0 && !index->empty()) return Status::Error(where + ": table rows have no size");
  std::string matrix;
  if (IsHid(hnid_rows)) {
    auto m = heap.Get(hnid_rows);
    if (!m.ok()) return m.status();
    matrix.assign(m->data(), m->size());
  } else {
    auto m = subnodes(hnid_rows);
    if (!m.ok()) return m.status();
    matrix = std::move(*m);
  }
  const size_t rows_per_block = row_size ? disk::kMaxBlockData / row_size : 0;
  auto row_at = [&](size_t n) -> std::string_view {
    size_t off = IsHid(hnid_rows) ? n * row_size : (n / rows_per_block) * disk::kMaxBlockData + (n % rows_per_block) * row_size;
    if (off + row_size > matrix.size()) return {};
    return std::string_view(matrix).substr(off, row_size);
  };
  std::vector<std::pair<uint32_t, uint32_t>> order;  // row index, row id
  for (const std::string& r : *index) order.emplace_back(Load<uint32_t>(r, 4), Load<uint32_t>(r, 0));
  std::sort(order.begin(), order.end());
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i].first != i) return Status::Error(where + ": table row index does not cover the rows exactly");
  }
  for (const auto& [n, id] : order) {
    std::string_view row = row_at(n);
    if (row.empty()) return Status::Error(where + ": table row " + std::to_string(n) + " lies outside the row matrix");
    Cells cells(t.columns.size());
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const TableColumn& c = t.columns[i];
      if (!(static_cast<uint8_t>(row[fixed_end + c.bit / 8]) & (0x80 >> (c.bit % 8)))) continue;
      std::string_view cell = row.substr(c.offset, c.size);
      const uint16_t type = TagType(c.tag);
      if (TcInline(type) && c.size == FixedSize(type)) {
        cells[i] = std::string(cell);
        continue;
      }
      if (c.size != 4) return Status::Error(where + ": table column has a bad width");
      uint32_t hnid = Load<uint32_t>(cell.data());
      if (IsHid(hnid)) {
        auto v = heap.Get(hnid);
        if (!v.ok()) return v.status();
        cells[i] = std::string(*v);
      } else {
        auto v = subnodes(hnid);
        if (!v.ok()) return v.status();
        cells[i] = std::move(*v);
      }
    }
    t.rows.push_back(TableRow{id, PackCells(cells)});
  }
  return t;
}

Result<std::vector<std::string>> BuildTableContext(const Table& table, const BigValueSink& big) {
  HeapBuilder heap(kClientSigTC);
  const uint16_t row_size = table.RowSize();
  uint16_t end4 = 8, end2 = 8, end1 = 8;
  for (const auto& c : table.columns) {
    uint16_t e = static_cast<uint16_t>(c.offset + c.size);
    if (c.size >= 4) end4 = std::max(end4, e);
    if (c.size >= 2) end2 = std::max(end2, e);
    end1 = std::max(end1, e);
  }
  end2 = std::max(end2, end4);
  end1 = std::max(end1, end2);
  std::string matrix;
  const size_t rows_per_block = disk::kMaxBlockData / row_size;
  std::vector<std::string> index;
  for (size_t n = 0; n < table.rows.size(); ++n) {
    const TableRow& r = table.rows[n];
    Cells cells = UnpackCells(r.packed, table.columns.size());
    std::string row(row_size, '\0');
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const TableColumn& c = table.columns[i];
      if (!cells[i]) continue;
      const std::string& v = *cells[i];
      if (TcInline(TagType(c.tag))) {
        std::memcpy(row.data() + c.offset, v.data(), std::min<size_t>(v.size(), c.size));
      } else {
        uint32_t hnid;
        if (v.size() > kMaxHeapItem) {
          auto nid = big(v);
          if (!nid.ok()) return nid.status();
          hnid = *nid;
        } else {
          auto hid = heap.Allocate(v);
          if (!hid.ok()) return hid.status();
          hnid = *hid;
        }
        disk::Store<uint32_t>(row.data() + c.offset, hnid);
      }
      row[end1 + c.bit / 8] = static_cast<char>(row[end1 + c.bit / 8] | (0x80 >> (c.bit % 8)));
    }
    disk::Store<uint32_t>(row.data(), r.id);
    // Rows never straddle blocks of a row matrix in a subnode (§2.3.4.4).
    if (n > 0 && n % rows_per_block == 0) matrix.resize((n / rows_per_block) * disk::kMaxBlockData, '\0');
    matrix += row;
    std::string rec;
    Append<uint32_t>(rec, r.id);
    Append<uint32_t>(rec, static_cast<uint32_t>(n));
    index.push_back(std::move(rec));
  }
  auto by_id = [](const std::string& a, const std::string& b) { return Load<uint32_t>(a, 0) < Load<uint32_t>(b, 0); };
  if (!std::is_sorted(index.begin(), index.end(), by_id)) std::sort(index.begin(), index.end(), by_id);
  auto hid_index = BuildBth(heap, BthShape{4, 4}, index);
  if (!hid_index.ok()) return hid_index.status();
  uint32_t hnid_rows = 0;
  if (!table.rows.empty()) {
    // A matrix that fits one heap item stays in the heap, packed without block padding.
    if (matrix.size() <= kMaxHeapItem) {
      auto hid = heap.Allocate(matrix);
      if (!hid.ok()) return hid.status();
      hnid_rows = *hid;
    } else {
      auto nid = big(matrix);
      if (!nid.ok()) return nid.status();
      hnid_rows = *nid;
    }
  }
  std::string info;
  info.push_back(static_cast<char>(kClientSigTC));
  info.push_back(static_cast<char>(table.columns.size()));
  Append<uint16_t>(info, end4);
  Append<uint16_t>(info, end2);
  Append<uint16_t>(info, end1);
  Append<uint16_t>(info, row_size);
  Append<uint32_t>(info, *hid_index);
  Append<uint32_t>(info, hnid_rows);
  Append<uint32_t>(info, 0);
  for (const auto& c : table.columns) {
    Append<uint32_t>(info, c.tag);
    Append<uint16_t>(info, c.offset);
    info.push_back(static_cast<char>(c.size));
    info.push_back(static_cast<char>(c.bit));
  }
  auto hid_info = heap.Allocate(info);
  if (!hid_info.ok()) return hid_info.status();
  heap.set_user_root(*hid_info);
  return heap.Finish();
}

}  // namespace baleport::pst::ltp
