#include "msg/msg_file.h"

namespace baleport::msg {

Result<std::unique_ptr<MsgFile>> MsgFile::Open(Env& env, const std::string& path, const ReadLimits& limits) {
  Result<std::unique_ptr<File>> file = env.OpenForRead(path);
  if (!file.ok()) return file.status();
  return Open(std::move(file).value(), limits);
}

Result<std::unique_ptr<MsgFile>> MsgFile::Open(std::unique_ptr<File> file, const ReadLimits& limits) {
  std::unique_ptr<MsgFile> msg(new MsgFile());
  Result<std::unique_ptr<CompoundFile>> compound = CompoundFile::Open(std::move(file));
  if (!compound.ok()) return compound.status();
  msg->file_ = std::move(compound).value();
  const Storage root(*msg->file_, CompoundFile::kRoot);
  const int nameid = root.Find("__nameid_version1.0");
  if (nameid >= 0) {
    Result<Storage> names_storage = root.OpenStorage(nameid);
    if (!names_storage.ok()) return names_storage.status();
    Result<NameMap> names = NameMap::Read(*names_storage, &msg->notes_);
    if (!names.ok()) return names.status();
    msg->names_ = std::move(names).value();
  }
  LoadContext context{limits, &msg->notes_};
  Result<std::unique_ptr<Message>> message = Message::Load(root, 0, nullptr, &context);
  if (!message.ok()) return message.status();
  msg->message_ = std::move(message).value();
  return msg;
}

MsgFile::~MsgFile() = default;

}  // namespace baleport::msg
