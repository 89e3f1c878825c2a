#include "import/storage_copy.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace baleport::import {
namespace {

constexpr size_t kChunk = 64 << 10;
constexpr int kMaxDepth = 64;

// A temporary file, removed when it goes out of scope.
struct TempFile {
  std::string path;
  ~TempFile() {
    if (!path.empty()) std::remove(path.c_str());
  }
};

Status CopyStream(GsfInput* in, uint64_t size, GsfOutput* out, const std::string& where, const msg::ReadCache& source) {
  std::vector<uint8_t> chunk(kChunk);
  for (uint64_t left = size; left > 0;) {
    const size_t n = left < chunk.size() ? static_cast<size_t>(left) : chunk.size();
    BALEPORT_RETURN_IF_ERROR(msg::ReadExactly(in, chunk.data(), n, where, source));
    if (!gsf_output_write(out, n, chunk.data())) return Status::Error("writing a copy of " + where + " failed");
    left -= n;
  }
  return Status::Ok();
}

Status CopyChildren(const msg::Storage& storage, GsfOutfile* out, int depth) {
  if (depth > kMaxDepth) return Status::Error(storage.path() + ": storages nested more than 64 deep");
  for (int i = 0; i < storage.child_count(); ++i) {
    const std::string& name = storage.child_name(i);
    Result<msg::Storage> sub = storage.OpenStorage(i);
    GsfOutput* child = gsf_outfile_new_child(out, name.c_str(), sub.ok());
    if (child == nullptr) return Status::Error("cannot add " + storage.ChildPath(i) + " to the copy");
    Status copied;
    if (sub.ok()) {
      copied = CopyChildren(*sub, GSF_OUTFILE(child), depth + 1);
    } else if (Result<msg::Storage::Stream> stream = storage.OpenStream(i); stream.ok()) {
      copied = CopyStream(stream->input.get(), stream->size, child, storage.ChildPath(i), storage.source());
    } else {
      copied = stream.status();
    }
    gsf_output_close(child);
    g_object_unref(child);
    BALEPORT_RETURN_IF_ERROR(copied);
  }
  return Status::Ok();
}

Status WriteCompoundFile(const msg::Storage& storage, const std::string& path) {
  GError* error = nullptr;
  GsfOutput* file = gsf_output_stdio_new(path.c_str(), &error);
  if (file == nullptr) {
    const std::string why = error != nullptr ? error->message : "unknown reason";
    if (error != nullptr) g_error_free(error);
    return Status::Error("cannot create the temporary file " + path + ": " + why);
  }
  GsfOutfile* outfile = gsf_outfile_msole_new(file);
  Status copied = CopyChildren(storage, outfile, 0);
  const bool closed = gsf_output_close(GSF_OUTPUT(outfile));  // closes the file beneath as well
  g_object_unref(outfile);
  g_object_unref(file);
  if (copied.ok() && !closed) copied = Status::Error("cannot finish the temporary file " + path);
  return copied;
}

}  // namespace

Status CopyStorageAsCompoundFile(const msg::Storage& storage, pst::ValueStream& out) {
  TempFile temp;
  std::string pattern = (std::filesystem::temp_directory_path() / "baleport-ole-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    return Status::Error("cannot create a temporary file for " + storage.path() + ": " + std::strerror(errno));
  ::close(fd);
  temp.path = pattern;
  BALEPORT_RETURN_IF_ERROR(WriteCompoundFile(storage, temp.path).WithContext("copying " + storage.path()));

  std::FILE* in = std::fopen(temp.path.c_str(), "rb");
  if (in == nullptr) return Status::Error("cannot read back " + temp.path + ": " + std::strerror(errno));
  std::vector<char> chunk(kChunk);
  Status written;
  while (written.ok()) {
    const size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
    if (n == 0) break;
    written = out.Write(std::string_view(chunk.data(), n));
  }
  if (written.ok() && std::ferror(in)) written = Status::Error("reading back " + temp.path + " failed");
  std::fclose(in);
  return written;
}

}  // namespace baleport::import
