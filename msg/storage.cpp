#include "msg/storage.h"

namespace baleport::msg {
namespace {

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

}  // namespace

int Storage::Find(std::string_view name) const {
  const std::span<const uint32_t> children = file_->children(id_);
  for (size_t i = 0; i < children.size(); ++i) {
    const CompoundFile::ShortName short_name = file_->short_name(children[i]);
    const std::u16string_view child = short_name.view();
    if (child.size() != name.size()) continue;
    size_t k = 0;
    while (k < name.size() && AsciiUpper(child[k]) == AsciiUpper(static_cast<unsigned char>(name[k]))) ++k;
    if (k == name.size()) return static_cast<int>(i);
  }
  return -1;
}

Result<Storage> Storage::OpenStorage(int index) const {
  if (!child_is_storage(index)) return Status::Error(ChildPath(index) + ": is a stream where a storage was expected");
  return Storage(*file_, child_id(index));
}

Result<std::vector<uint8_t>> Storage::ReadStream(int index, size_t max_size) const {
  const uint32_t id = child_id(index);
  if (file_->kind(id) != CompoundFile::Kind::kStream) {
    return Status::Error(ChildPath(index) + ": is a storage where a stream was expected");
  }
  if (file_->size(id) > max_size) {
    return Status::Error(ChildPath(index) + ": stream of " + std::to_string(file_->size(id)) +
                         " bytes is larger than the " + std::to_string(max_size) + " allowed");
  }
  std::vector<uint8_t> data(file_->size(id));
  BALEPORT_RETURN_IF_ERROR(file_->Read(id, 0, data.data(), data.size()));
  return data;
}

}  // namespace baleport::msg
