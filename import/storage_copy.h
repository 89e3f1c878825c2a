// The storage of an OLE attachment (afStorage) written out as a compound file of its own.
#pragma once

#include "msg/compound_file.h"
#include "pst/store.h"
#include "support/status.h"

namespace baleport::import {

// Writes `storage` with everything below it, class ids included, as a compound file into
// `out` (not closed), a chunk at a time.
Status CopyStorageAsCompoundFile(const msg::Storage& storage, pst::ValueStream& out);

}  // namespace baleport::import
