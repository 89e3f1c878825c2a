#include "msg/msg_file.h"

#include <gsf/gsf-infile-msole.h>

#include "msg/directory_check.h"
#include "msg/file_input.h"
#include "msg/read_cache.h"

namespace baleport::msg {
namespace {

// libgsf logs each damaged sector it meets; the reader reports the failure itself, once,
// naming the file, so the library's own messages would only repeat it on stderr.
void QuietLibgsf() {
  static const bool once = [] {
    auto drop = [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {};
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
    g_log_set_handler("libgsf:msole", levels, drop, nullptr);
    g_log_set_handler("libgsf", levels, drop, nullptr);
    return true;
  }();
  (void)once;
}

}  // namespace

Result<std::unique_ptr<MsgFile>> MsgFile::Open(Env& env, const std::string& path, const ReadLimits& limits) {
  Result<std::unique_ptr<File>> file = env.OpenForRead(path);
  if (!file.ok()) return file.status();
  return Open(std::move(file).value(), limits);
}

Result<std::unique_ptr<MsgFile>> MsgFile::Open(std::unique_ptr<File> file, const ReadLimits& limits) {
  QuietLibgsf();
  const std::string path = file->path();
  Result<uint64_t> size = file->Size();
  if (!size.ok()) return size.status();
  if (*size == 0) return Status::Error(path + ": is empty, not a message file");
  auto cache = std::make_shared<ReadCache>(std::move(file), *size);
  const ReadCache& source = *cache;
  BALEPORT_RETURN_IF_ERROR(CheckDirectory(*cache, *size, limits));
  GPtr<GsfInput> input(NewFileInput(std::move(cache), *size));
  GError* error = nullptr;
  GPtr<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
  if (!root) {
    std::string why = source.failures() != 0 ? source.last_error().message()
                      : error != nullptr     ? error->message
                                             : "unknown failure";
    if (error != nullptr) g_error_free(error);
    return Status::Error(path + ": not a readable compound file (" + why + ")");
  }
  Result<Storage> storage = Storage::Index(std::move(root), path, true, source);
  if (!storage.ok()) return storage.status();

  std::unique_ptr<MsgFile> msg(new MsgFile());
  msg->path_ = path;
  const int nameid = storage->Find("__nameid_version1.0");
  if (nameid >= 0) {
    Result<Storage> names_storage = storage->OpenStorage(nameid);
    if (!names_storage.ok()) return names_storage.status();
    Result<NameMap> names = NameMap::Read(*names_storage, &msg->notes_);
    if (!names.ok()) return names.status();
    msg->names_ = std::move(names).value();
  }
  LoadContext context{limits, &msg->notes_};
  Result<std::unique_ptr<Message>> message = Message::Load(std::move(storage).value(), 0, nullptr, &context);
  if (!message.ok()) return message.status();
  msg->message_ = std::move(message).value();
  return msg;
}

MsgFile::~MsgFile() = default;

}  // namespace baleport::msg
