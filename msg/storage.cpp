#include "msg/storage.h"

#include <gsf/gsf-infile-impl.h>

#include <cctype>

namespace baleport::msg {
namespace {

std::string AsciiUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

Result<Storage> Storage::Index(GPtr<GsfInfile> infile, std::string path, bool is_root, const ReadCache& source) {
  Storage storage(std::move(infile), std::move(path), source);
  storage.is_root_ = is_root;
  const int n = gsf_infile_num_children(storage.infile_.get());
  if (n < 0) return Status::Error(storage.path_ + ": is a stream where a storage was expected");
  storage.names_.reserve(n);
  for (int i = 0; i < n; ++i) {
    const char* name = gsf_infile_name_by_index(storage.infile_.get(), i);
    storage.names_.emplace_back(name != nullptr ? name : "");
    // A damaged directory can repeat a name; the first one wins, as in a tree lookup.
    storage.by_upper_name_.emplace(AsciiUpper(storage.names_.back()), i);
  }
  return storage;
}

int Storage::Find(std::string_view name) const {
  auto it = by_upper_name_.find(AsciiUpper(name));
  return it == by_upper_name_.end() ? -1 : it->second;
}

std::string Storage::ChildPath(int index) const {
  return path_ + (is_root_ ? ":/" : "/") + names_[index];
}

Result<GPtr<GsfInput>> Storage::OpenChild(int index) const {
  // Through the class, as gsf_infile_child_by_index would only log the reason.
  GError* error = nullptr;
  const uint64_t failures = source_->failures();
  GPtr<GsfInput> child(reinterpret_cast<GsfInfileClass*>(G_OBJECT_GET_CLASS(infile_.get()))->child_by_index(infile_.get(), index, &error));
  std::string why = source_->failures() != failures ? source_->last_error().message()
                    : error != nullptr                ? error->message
                                                      : "its sector chain is damaged";
  if (error != nullptr) g_error_free(error);
  if (!child) return Status::Error(ChildPath(index) + ": cannot be opened (" + why + ")");
  return child;
}

Result<Storage::Stream> Storage::OpenStream(int index) const {
  Result<GPtr<GsfInput>> child = OpenChild(index);
  if (!child.ok()) return child.status();
  if (gsf_infile_num_children(GSF_INFILE(child->get())) >= 0) {
    return Status::Error(ChildPath(index) + ": is a storage where a stream was expected");
  }
  const gsf_off_t size = gsf_input_size(child->get());
  return Stream{std::move(child).value(), static_cast<uint64_t>(size)};
}

Result<Storage> Storage::OpenStorage(int index) const {
  Result<GPtr<GsfInput>> child = OpenChild(index);
  if (!child.ok()) return child.status();
  if (!GSF_IS_INFILE(child->get()) || gsf_infile_num_children(GSF_INFILE(child->get())) < 0) {
    return Status::Error(ChildPath(index) + ": is a stream where a storage was expected");
  }
  GsfInfile* infile = GSF_INFILE(child->get());
  g_object_ref(infile);
  return Index(GPtr<GsfInfile>(infile), ChildPath(index), false, *source_);
}

Result<std::vector<uint8_t>> Storage::ReadStream(int index, size_t max_size) const {
  Result<Stream> stream = OpenStream(index);
  if (!stream.ok()) return stream.status();
  if (stream->size > max_size) {
    return Status::Error(ChildPath(index) + ": stream of " + std::to_string(stream->size) +
                         " bytes is larger than the " + std::to_string(max_size) + " allowed");
  }
  std::vector<uint8_t> data(stream->size);
  BALEPORT_RETURN_IF_ERROR(ReadExactly(stream->input.get(), data.data(), data.size(), ChildPath(index), *source_));
  return data;
}

Status ReadExactly(GsfInput* input, void* dst, size_t n, const std::string& where, const ReadCache& source) {
  if (n == 0) return Status::Ok();
  const gsf_off_t at = gsf_input_tell(input);
  const uint64_t failures = source.failures();
  if (gsf_input_read(input, n, static_cast<guint8*>(dst)) == nullptr) {
    const std::string why = source.failures() != failures ? ": " + source.last_error().message()
                                                          : "; the file is truncated or its sector chain is damaged";
    return Status::Error(where + ": cannot read " + std::to_string(n) + " bytes at offset " + std::to_string(at) + why);
  }
  return Status::Ok();
}

}  // namespace baleport::msg
