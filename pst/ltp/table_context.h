// Table context (§2.3.4): rows of fixed-layout cells on a heap, with a row index.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pst/ltp/heap.h"
#include "pst/ltp/property_value.h"

namespace baleport::pst::ltp {

inline constexpr uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr uint32_t kTagLtpRowVer = 0x67F30003;

struct TableColumn {
  uint32_t tag = 0;
  uint16_t offset = 0;
  uint8_t size = 0;
  uint8_t bit = 0;
};

// One row's cells in column order; absent cells are nullopt. Cells hold values in the
// form of PropertyValue::data.
using Cells = std::vector<std::optional<std::string>>;

// Rows are kept packed: a big contents table holds hundreds of thousands of them.
struct TableRow {
  uint32_t id = 0;
  std::string packed;
};
std::string PackCells(const Cells& cells);
Cells UnpackCells(std::string_view packed, size_t columns);

struct Table {
  std::vector<TableColumn> columns;  // sorted by tag
  std::vector<TableRow> rows;        // in row-matrix order

  // Columns for these tags (LtpRowId and LtpRowVer added), laid out as Outlook does:
  // 8- and 4-byte cells, then 2-byte, then 1-byte, then the existence bitmap.
  static std::vector<TableColumn> Layout(std::vector<uint32_t> tags);
  int ColumnIndex(uint32_t tag) const;
  // Adds columns for tags the table lacks, keeping the cells of existing rows.
  void AddColumns(const std::vector<uint32_t>& tags);
  uint16_t RowSize() const;
};

Result<Table> ReadTableContext(const Heap& heap, const SubnodeSource& subnodes);
// Lays out a TC; the row matrix and cells over 3580 bytes go to `big`.
Result<std::vector<std::string>> BuildTableContext(const Table& table, const BigValueSink& big);

}  // namespace baleport::pst::ltp
