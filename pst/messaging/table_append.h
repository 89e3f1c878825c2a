// Rows added to the end of a stored table context, writing only the blocks they change.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pst/ltp/table_context.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/stream_patch.h"

namespace baleport::pst {

// The shapes of a table's heap and row matrix as last written.
struct TableShapes {
  TreeShape heap, matrix;
};

// The columns of a stored TC that rows can be appended to, or nullopt (see ltp::AppendTableRows).
Result<std::optional<std::vector<ltp::TableColumn>>> AppendableTc(const ndb::NodeDatabase& db, NodeStreams node,
                                                                  const std::string& where);
// `rows` added to the end of a stored TC: only the heap and row-matrix blocks they change are
// written, every other block is shared with `node`. `verify` first checks that the row index
// covers the matrix exactly. Nullopt when the table cannot be appended to; nothing is then
// written, and the caller lays the table out anew.
Result<std::optional<NodeStreams>> AppendTc(ndb::NodeDatabase* db, NodeStreams node, const std::vector<ltp::TableRow>& rows,
                                            bool verify, const std::string& where, TableShapes* shapes = nullptr);

}  // namespace baleport::pst
