// Writing one storage of a compound file, with everything below it, as a compound file of its
// own (an OLE attachment's data object is stored that way). The class ids of the storages are
// kept: they say which program opens the object.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "msg/compound_file.h"
#include "support/status.h"

namespace baleport::msg {

// Every size is known before the first byte, so the file goes out front to back through
// `write`, with nothing held but a chunk of a stream at a time.
Status WriteStorageAsCompoundFile(const Storage& storage, const std::function<Status(std::span<const uint8_t>)>& write);

}  // namespace baleport::msg
