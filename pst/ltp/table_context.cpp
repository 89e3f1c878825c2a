#include "pst/ltp/table_context.h"

#include <algorithm>
#include <cstring>

#include "pst/disk/layout.h"
#include "pst/ltp/bth.h"
#include "support/little_endian.h"

namespace baleport::pst::ltp {


namespace {

constexpr size_t kTcInfoSize = sizeof(disk::TCINFO);

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
    AppendLe<uint32_t>(out, static_cast<uint32_t>(c->size()));
    out += *c;
  }
  return out;
}

Cells UnpackCells(std::string_view packed, size_t columns) {
  Cells cells(columns);
  size_t pos = 0;
  for (size_t i = 0; i < columns && pos < packed.size(); ++i) {
    if (packed[pos++] == '\0') continue;
    uint32_t n = LoadLe<uint32_t>(packed.data() + pos);
    pos += 4;
    cells[i] = std::string(packed.substr(pos, n));
    pos += n;
  }
  return cells;
}

std::vector<TableColumn> Table::Layout(std::vector<uint32_t> tags) {
  // Cells and existence bits follow the order the columns were added in, as Outlook lays
  // them out: 8- and 4-byte cells together, then 2-byte, then 1-byte ones.
  std::vector<uint32_t> order;
  for (uint32_t t : tags) {
    if (t != kTagLtpRowId && t != kTagLtpRowVer && std::find(order.begin(), order.end(), t) == order.end()) {
      order.push_back(t);
    }
  }
  std::vector<TableColumn> cols;
  cols.push_back({kTagLtpRowId, 0, 4, 0});
  cols.push_back({kTagLtpRowVer, 4, 4, 1});
  for (uint32_t t : order) cols.push_back({t, 0, TcCellSize(TagType(t)), static_cast<uint8_t>(cols.size())});
  uint16_t off = 8;
  auto place = [&](auto takes) {
    for (size_t i = 2; i < cols.size(); ++i) {
      if (!takes(cols[i].size)) continue;
      cols[i].offset = off;
      off = static_cast<uint16_t>(off + cols[i].size);
    }
  };
  place([](uint8_t w) { return w >= 4; });
  place([](uint8_t w) { return w == 2; });
  place([](uint8_t w) { return w == 1; });
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
  std::vector<TableColumn> by_bit = columns;
  std::sort(by_bit.begin(), by_bit.end(), [](const TableColumn& a, const TableColumn& b) { return a.bit < b.bit; });
  std::vector<uint32_t> all;
  for (const auto& c : by_bit) all.push_back(c.tag);
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

Result<TcInfo> ParseTcInfo(std::string_view info, const std::string& where) {
  disk::TCINFO header;
  if (info.size() < sizeof header) return Status::Error(where + ": table header is invalid");
  std::memcpy(&header, info.data(), sizeof header);
  if (header.bType != kClientSigTC) return Status::Error(where + ": table header is invalid");
  const uint8_t ncols = header.cCols;
  if (info.size() < sizeof header + sizeof(disk::TCOLDESC) * ncols) return Status::Error(where + ": table header is truncated");
  TcInfo t;
  t.end4 = header.rgib[0];
  t.end2 = header.rgib[1];
  t.end1 = header.rgib[2];
  t.row_size = header.rgib[3];
  t.hid_row_index = header.hidRowIndex;
  t.hnid_rows = header.hnidRows;
  // Every row begins with its 4-byte row ID and lies within one block of the row matrix; a
  // header that says otherwise would have rows added to it that cannot be laid out.
  if (t.row_size < 4 || t.row_size > disk::kMaxBlockData) {
    return Status::Error(where + ": table rows have an impossible size (" + std::to_string(t.row_size) + " bytes)");
  }
  for (uint32_t i = 0; i < ncols; ++i) {
    disk::TCOLDESC d;
    std::memcpy(&d, info.data() + sizeof header + sizeof d * i, sizeof d);
    TableColumn c{d.tag, d.ibData, d.cbData, d.iBit};
    if (c.offset + c.size > t.end1 || c.bit >= ncols || t.end1 + (ncols + 7) / 8 > t.row_size) {
      return Status::Error(where + ": table column " + std::to_string(i) + " lies outside the row");
    }
    if (!t.columns.empty() && c.tag <= t.columns.back().tag) return Status::Error(where + ": table columns out of order");
    t.columns.push_back(c);
  }
  return t;
}

Status VisitTableRows(const Heap& heap, const SubnodeSource& subnodes, const RowVisitor& visit,
                      std::vector<TableColumn>* columns) {
  const std::string& where = heap.where();
  if (heap.client_sig() != kClientSigTC) return Status::Error(where + ": not a table context");
  auto raw_info = heap.Get(heap.user_root());
  if (!raw_info.ok()) return raw_info.status();
  auto info = ParseTcInfo(*raw_info, where);
  if (!info.ok()) return info.status();
  const TcInfo& t = *info;
  if (columns) *columns = t.columns;
  std::vector<std::pair<uint32_t, uint32_t>> order;  // row index, row id
  BALEPORT_RETURN_IF_ERROR(VisitBth(heap, t.hid_row_index, BthShape{4, 4}, [&](std::string_view r) {
    order.emplace_back(LoadLe<uint32_t>(r, 4), LoadLe<uint32_t>(r, 0));
    return Status::Ok();
  }));
  std::string matrix;
  if (IsHid(t.hnid_rows)) {
    auto m = heap.Get(t.hnid_rows);
    if (!m.ok()) return m.status();
    matrix.assign(m->data(), m->size());
  } else {
    auto m = subnodes(t.hnid_rows);
    if (!m.ok()) return m.status();
    matrix = std::move(*m);
  }
  const size_t rows_per_block = disk::kMaxBlockData / t.row_size;
  auto row_at = [&](size_t n) -> std::string_view {
    size_t off = IsHid(t.hnid_rows) ? n * t.row_size
                                    : (n / rows_per_block) * disk::kMaxBlockData + (n % rows_per_block) * t.row_size;
    if (off + t.row_size > matrix.size()) return {};
    return std::string_view(matrix).substr(off, t.row_size);
  };
  std::sort(order.begin(), order.end());
  for (size_t i = 0; i < order.size(); ++i) {
    if (order[i].first != i) return Status::Error(where + ": table row index does not cover the rows exactly");
  }
  Cells cells(t.columns.size());
  for (const auto& [n, id] : order) {
    std::string_view row = row_at(n);
    if (row.empty()) return Status::Error(where + ": table row " + std::to_string(n) + " lies outside the row matrix");
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const TableColumn& c = t.columns[i];
      cells[i].reset();
      if (!(static_cast<uint8_t>(row[t.end1 + c.bit / 8]) & (0x80 >> (c.bit % 8)))) continue;
      std::string_view cell = row.substr(c.offset, c.size);
      const uint16_t type = TagType(c.tag);
      if (TcInline(type) && c.size == FixedSize(type)) {
        cells[i] = std::string(cell);
        continue;
      }
      if (c.size != 4) return Status::Error(where + ": table column has a bad width");
      uint32_t hnid = LoadLe<uint32_t>(cell.data());
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
    BALEPORT_RETURN_IF_ERROR(visit(id, cells));
  }
  return Status::Ok();
}

Result<Table> ReadTableContext(const Heap& heap, const SubnodeSource& subnodes) {
  Table t;
  BALEPORT_RETURN_IF_ERROR(VisitTableRows(
      heap, subnodes,
      [&](uint32_t id, Cells& cells) {
        t.rows.push_back(TableRow{id, PackCells(cells)});
        return Status::Ok();
      },
      &t.columns));
  return t;
}

namespace {

// One row's bytes: inline cells in place, others as HNIDs of the heap (`small`) or of
// subnodes (`big`, over kMaxHeapValue bytes), an empty value as HNID 0; then the existence
// bitmap.
Result<std::string> LayoutRow(const TcInfo& t, uint32_t id, const Cells& cells, const BigValueSink& small,
                              const BigValueSink& big) {
  std::string row(t.row_size, '\0');
  for (size_t i = 0; i < t.columns.size(); ++i) {
    const TableColumn& c = t.columns[i];
    if (!cells[i]) continue;
    const std::string& v = *cells[i];
    if (TcInline(TagType(c.tag))) {
      std::memcpy(row.data() + c.offset, v.data(), std::min<size_t>(v.size(), c.size));
    } else {
      if (!v.empty()) {
        auto hnid = v.size() > kMaxHeapValue ? big(v) : small(v);
        if (!hnid.ok()) return hnid.status();
        StoreLe<uint32_t>(row.data() + c.offset, *hnid);
      }
    }
    row[t.end1 + c.bit / 8] = static_cast<char>(row[t.end1 + c.bit / 8] | (0x80 >> (c.bit % 8)));
  }
  StoreLe<uint32_t>(row.data(), id);
  return row;
}

}  // namespace

Result<std::vector<std::string>> BuildTableContext(const Table& table, const BigValueSink& big) {
  HeapBuilder heap(kClientSigTC);
  TcInfo t;
  t.columns = table.columns;
  t.row_size = table.RowSize();
  t.end4 = t.end2 = t.end1 = 8;
  for (const auto& c : table.columns) {
    uint16_t e = static_cast<uint16_t>(c.offset + c.size);
    if (c.size >= 4) t.end4 = std::max(t.end4, e);
    if (c.size >= 2) t.end2 = std::max(t.end2, e);
    t.end1 = std::max(t.end1, e);
  }
  t.end2 = std::max(t.end2, t.end4);
  t.end1 = std::max(t.end1, t.end2);
  if (t.row_size < 4 || t.row_size > disk::kMaxBlockData) {
    return Status::Error("a table's rows of " + std::to_string(t.row_size) + " bytes cannot be laid out");
  }
  // Laid out as Outlook does: the row index's BTH header first (HID 0x20), TCINFO next (0x40,
  // the user root), the index records, the row matrix when it lies in the heap, cell values last.
  auto hid_index = heap.Allocate(std::string(8, '\0'));
  if (!hid_index.ok()) return hid_index.status();
  const size_t info_size = kTcInfoSize + 8 * table.columns.size();
  auto hid_info = heap.Allocate(std::string(info_size, '\0'));
  if (!hid_info.ok()) return hid_info.status();
  heap.set_user_root(*hid_info);
  std::vector<std::string> index;
  index.reserve(table.rows.size());
  for (size_t n = 0; n < table.rows.size(); ++n) {
    std::string rec;
    AppendLe<uint32_t>(rec, table.rows[n].id);
    AppendLe<uint32_t>(rec, static_cast<uint32_t>(n));
    index.push_back(std::move(rec));
  }
  auto by_id = [](const std::string& a, const std::string& b) { return LoadLe<uint32_t>(a, 0) < LoadLe<uint32_t>(b, 0); };
  if (!std::is_sorted(index.begin(), index.end(), by_id)) std::sort(index.begin(), index.end(), by_id);
  auto leaves = BuildBth(heap, *hid_index, BthShape{4, 4}, index);
  if (!leaves.ok()) return leaves.status();
  // A matrix that fits one heap item stays in the heap, packed without block padding.
  const size_t rows_per_block = disk::kMaxBlockData / t.row_size;
  const bool matrix_in_heap = table.rows.size() * t.row_size <= kMaxHeapItem;
  uint32_t hnid_rows = 0;
  if (!table.rows.empty() && matrix_in_heap) {
    auto hid = heap.Allocate(std::string(table.rows.size() * t.row_size, '\0'));
    if (!hid.ok()) return hid.status();
    hnid_rows = *hid;
  }
  const BigValueSink small = [&heap](std::string_view v) { return heap.Allocate(v); };
  std::string matrix;
  matrix.reserve(table.rows.size() * t.row_size);
  for (size_t n = 0; n < table.rows.size(); ++n) {
    const TableRow& r = table.rows[n];
    auto row = LayoutRow(t, r.id, UnpackCells(r.packed, table.columns.size()), small, big);
    if (!row.ok()) return row.status();
    // Rows never straddle blocks of a row matrix in a subnode (§2.3.4.4).
    if (n > 0 && n % rows_per_block == 0) matrix.resize((n / rows_per_block) * disk::kMaxBlockData, '\0');
    matrix += *row;
  }
  if (hnid_rows) {
    heap.Replace(hnid_rows, matrix);
  } else if (!table.rows.empty()) {
    auto nid = big(matrix);
    if (!nid.ok()) return nid.status();
    hnid_rows = *nid;
  }
  std::string info;
  info.reserve(info_size);
  info.push_back(static_cast<char>(kClientSigTC));
  info.push_back(static_cast<char>(table.columns.size()));
  AppendLe<uint16_t>(info, t.end4);
  AppendLe<uint16_t>(info, t.end2);
  AppendLe<uint16_t>(info, t.end1);
  AppendLe<uint16_t>(info, t.row_size);
  AppendLe<uint32_t>(info, *hid_index);
  AppendLe<uint32_t>(info, hnid_rows);
  AppendLe<uint32_t>(info, 0);
  for (const auto& c : table.columns) {
    AppendLe<uint32_t>(info, c.tag);
    AppendLe<uint16_t>(info, c.offset);
    info.push_back(static_cast<char>(c.size));
    info.push_back(static_cast<char>(c.bit));
  }
  heap.Replace(*hid_info, info);
  return heap.Finish();
}

Result<std::optional<TcInfo>> AppendableTable(HeapEditor& heap) {
  auto sig = heap.client_sig();
  if (!sig.ok()) return sig.status();
  if (*sig != kClientSigTC) return Status::Error(heap.where() + ": not a table context");
  auto root = heap.user_root();
  if (!root.ok()) return root.status();
  auto raw = heap.Get(*root);
  if (!raw.ok()) return raw.status();
  auto info = ParseTcInfo(*raw, heap.where());
  if (!info.ok()) return info.status();
  const TcInfo& t = *info;
  // Rows in a subnode, each starting with its id, cells of the widths written here.
  if (t.hnid_rows == 0 || IsHid(t.hnid_rows)) return std::optional<TcInfo>();
  bool has_id = false;
  for (const auto& c : t.columns) {
    if (c.tag == kTagLtpRowId) has_id = c.offset == 0 && c.size == 4;
    if (c.size != TcCellSize(TagType(c.tag))) return std::optional<TcInfo>();
  }
  if (!has_id) return std::optional<TcInfo>();
  auto hdr = heap.Get(t.hid_row_index);
  if (!hdr.ok()) return hdr.status();
  if (hdr->size() != 8 || static_cast<uint8_t>((*hdr)[0]) != kClientSigBTH || (*hdr)[1] != 4 || (*hdr)[2] != 4 ||
      static_cast<uint8_t>((*hdr)[3]) > 8) {
    return std::optional<TcInfo>();
  }
  return std::optional<TcInfo>(std::move(*info));
}

Result<std::optional<TableAppend>> AppendTableRows(HeapEditor& heap, const TcInfo& t, const StoredRowMatrix& matrix,
                                                   const std::vector<TableRow>& rows, const BigValueSink& big, bool verify) {
  const size_t rows_per_block = disk::kMaxBlockData / t.row_size;
  const size_t last_rows = matrix.last.size() / t.row_size;
  if (matrix.blocks == 0 || last_rows > rows_per_block || (matrix.last.size() % t.row_size != 0 && last_rows != rows_per_block)) {
    return std::optional<TableAppend>();
  }
  uint64_t count = (matrix.blocks - 1) * rows_per_block + last_rows;
  if (verify) {
    // Every stored row indexed once, so that the new ones may take the next numbers.
    std::vector<bool> seen(count);
    bool exact = true;
    BALEPORT_RETURN_IF_ERROR(VisitBth(heap, t.hid_row_index, BthShape{4, 4}, [&](std::string_view r) {
      const uint32_t n = LoadLe<uint32_t>(r, 4);
      if (n >= count || seen[n]) exact = false;
      if (exact) seen[n] = true;
      return Status::Ok();
    }));
    if (!exact || std::find(seen.begin(), seen.end(), false) != seen.end()) return std::optional<TableAppend>();
  }
  auto bth = BthAppender::Open(heap, t.hid_row_index, BthShape{4, 4});
  if (!bth.ok()) return bth.status();
  std::optional<uint32_t> last_id = bth->last_key();
  for (const auto& r : rows) {
    if (last_id && r.id <= *last_id) return std::optional<TableAppend>();
    last_id = r.id;
  }
  const BigValueSink small = [&heap](std::string_view v) { return heap.Allocate(v); };
  TableAppend out;
  size_t block = matrix.blocks - 1, in_block = last_rows;
  std::string bytes = matrix.last.substr(0, last_rows * t.row_size);
  for (const auto& r : rows) {
    if (in_block == rows_per_block) {
      bytes.resize(disk::kMaxBlockData, '\0');  // rows never straddle blocks
      out.matrix_blocks[block++] = std::move(bytes);
      bytes.clear();
      in_block = 0;
    }
    auto row = LayoutRow(t, r.id, UnpackCells(r.packed, t.columns.size()), small, big);
    if (!row.ok()) return row.status();
    bytes += *row;
    ++in_block;
    std::string rec;
    AppendLe<uint32_t>(rec, r.id);
    AppendLe<uint32_t>(rec, static_cast<uint32_t>(count++));
    BALEPORT_RETURN_IF_ERROR(bth->Append(heap, rec));
  }
  out.matrix_blocks[block] = std::move(bytes);
  BALEPORT_RETURN_IF_ERROR(bth->Finish(heap));
  auto blocks = heap.Finish();
  if (!blocks.ok()) return blocks.status();
  out.heap_blocks = std::move(*blocks);
  return std::optional<TableAppend>(std::move(out));
}

}  // namespace baleport::pst::ltp
