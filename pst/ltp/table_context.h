// Table context (§2.3.4): rows of fixed-layout cells on a heap, with a row index.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
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

// The TCINFO of a stored table.
struct TcInfo {
  std::vector<TableColumn> columns;
  uint16_t end4 = 0, end2 = 0, end1 = 0, row_size = 0;  // rgib: the cell existence bitmap starts at end1
  uint32_t hid_row_index = 0;
  uint32_t hnid_rows = 0;
};
Result<TcInfo> ParseTcInfo(std::string_view info, const std::string& where);

// Calls `row` for each row in row-matrix order, without holding the rows.
using RowVisitor = std::function<Status(uint32_t id, Cells& cells)>;
Status VisitTableRows(const Heap& heap, const SubnodeSource& subnodes, const RowVisitor& row,
                      std::vector<TableColumn>* columns = nullptr);
Result<Table> ReadTableContext(const Heap& heap, const SubnodeSource& subnodes);
// Lays out a TC; a row matrix over 3580 bytes and cells over kMaxHeapValue go to `big`.
Result<std::vector<std::string>> BuildTableContext(const Table& table, const BigValueSink& big);

// A row matrix kept in a subnode, as it is stored: its blocks but the last are full (rows
// never straddle blocks), and the last one's bytes.
struct StoredRowMatrix {
  size_t blocks = 0;
  std::string last;
};
// What appending changed: heap blocks and row-matrix blocks by index, added ones numbered on
// from the stored count.
struct TableAppend {
  std::map<size_t, std::string> heap_blocks;
  std::map<size_t, std::string> matrix_blocks;
};
// Adds `rows` (packed in the columns of `info`) at the end of a stored table: their cells go
// to the end of the heap, the row index grows on its right edge, the matrix's last block
// fills up. Nullopt when the table is not one rows can be appended to this way: its matrix
// lies in the heap, its layout is one this does not write, its row index does not cover the
// matrix exactly (when `verify`), or a new row id is not above every stored one; the caller
// then lays the table out anew.
Result<std::optional<TableAppend>> AppendTableRows(HeapEditor& heap, const TcInfo& info, const StoredRowMatrix& matrix,
                                                   const std::vector<TableRow>& rows, const BigValueSink& big, bool verify);
// The TCINFO of a table rows can be appended to, or nullopt as above (without the row checks).
Result<std::optional<TcInfo>> AppendableTable(HeapEditor& heap);

}  // namespace baleport::pst::ltp
