#include "import/storage_copy.h"

#include "msg/compound_writer.h"

namespace baleport::import {

Status CopyStorageAsCompoundFile(const msg::Storage& storage, pst::ValueStream& out) {
  return msg::WriteStorageAsCompoundFile(storage, [&](std::span<const uint8_t> bytes) {
    return out.Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }).WithContext("copying " + storage.path());
}

}  // namespace baleport::import
