// The storage of an OLE attachment (afStorage) written out as a compound file of its own.
#pragma once

#include "msg/storage.h"
#include "pst/store.h"
#include "support/status.h"

namespace baleport::import {

// Writes `storage` with everything below it as a compound file into `out` (not closed).
// The file is built in a temporary file first, since a compound file's header is only
// known at its end; nothing of it is held in memory.
Status CopyStorageAsCompoundFile(const msg::Storage& storage, pst::ValueStream& out);

}  // namespace baleport::import
