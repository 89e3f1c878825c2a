// Whole-file reads and replacements over any Env, for the small files around a run.
#include "support/env.h"

namespace baleport {

Result<std::string> ReadSmallFile(Env& env, const std::string& path, uint64_t limit) {
  Result<std::unique_ptr<File>> file = env.OpenForRead(path);
  if (!file.ok()) return file.status();
  Result<uint64_t> size = (*file)->Size();
  if (!size.ok()) return size.status();
  if (*size > limit) {
    return Status::Error("reading " + path + " failed: " + std::to_string(*size) + " bytes, more than the " +
                         std::to_string(limit) + " expected");
  }
  std::string text(static_cast<size_t>(*size), '\0');
  BALEPORT_RETURN_IF_ERROR((*file)->Read(0, text.data(), text.size()));
  return text;
}

Status ReplaceFile(Env& env, const std::string& path, std::string_view text) {
  const std::string next = path + ".new";
  if (env.Exists(next)) BALEPORT_RETURN_IF_ERROR(env.Remove(next));  // left by a run that was killed
  {
    Result<std::unique_ptr<File>> file = env.CreateNew(next);
    if (!file.ok()) return file.status();
    Status written = (*file)->Write(0, text.data(), text.size());
    if (written.ok()) written = (*file)->Sync();
    if (!written.ok()) {
      file->reset();
      (void)env.Remove(next);  // the write's failure is the one given
      return written;
    }
  }
  return env.Rename(next, path);
}

}  // namespace baleport
