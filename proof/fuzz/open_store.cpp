#include "proof/fuzz/open_store.h"

#include <cstddef>
#include <cstring>
#include <memory>

#include "mapi/tags.h"
#include "pst/disk/layout.h"
#include "pst/store.h"

namespace baleport::proof {
namespace {

// Bounded, so that a store whose folders form a cycle ends the walk too.
constexpr int kMaxFolders = 200, kMaxDepth = 16;

// A store ends in a long run of zeros (space is taken a whole allocation map at a time), which
// inputs may leave off: they are put back up to the file size the header states. Up to a bound,
// so that a stated size costs no more than a few maps; past it, and for an input longer than
// its header states, the engine gets the bytes as they are.
constexpr uint64_t kMaxPaddedSize = 1u << 20;

size_t PaddedSize(const uint8_t* data, size_t size) {
  constexpr size_t kEofAt = offsetof(pst::disk::HEADER, root) + offsetof(pst::disk::ROOT, ibFileEof);
  uint64_t eof = 0;
  if (size < kEofAt + sizeof eof) return size;
  std::memcpy(&eof, data + kEofAt, sizeof eof);
  return eof > size && eof <= kMaxPaddedSize ? static_cast<size_t>(eof) : size;
}

Status Walk(pst::Store& store, pst::FolderId folder, int depth, int& budget) {
  if (depth > kMaxDepth || --budget < 0) return Status::Ok();
  Result<std::vector<pst::MessageInfo>> messages = store.ListMessages(folder);
  if (!messages.ok()) return messages.status();
  for (const pst::MessageInfo& m : *messages) {
    if (--budget < 0) break;
    (void)store.ReadMessageProperties(m.id);
  }
  Result<std::vector<pst::FolderInfo>> children = store.ListFolders(folder);
  if (!children.ok()) return children.status();
  for (const pst::FolderInfo& child : *children) BALEPORT_RETURN_IF_ERROR(Walk(store, child.id, depth + 1, budget));
  return Status::Ok();
}

}  // namespace

Status OpenAndExtend(const uint8_t* data, size_t size, testing::MemoryEnv& env) {
  env.Reset(kInputPath, data, size, PaddedSize(data, size));
  pst::StoreOptions options;
  options.env = &env;
  Result<std::unique_ptr<pst::Store>> opened = pst::Store::Open(kInputPath, options);
  if (!opened.ok()) return opened.status();
  pst::Store& store = **opened;
  int budget = kMaxFolders;
  BALEPORT_RETURN_IF_ERROR(Walk(store, store.ipm_subtree(), 0, budget));
  Result<pst::FolderId> folder = store.AddFolder(store.ipm_subtree(), "Added by the fuzzer");
  if (!folder.ok()) folder = store.DefaultFolder(pst::StandardFolder::kInbox);
  if (!folder.ok()) return folder.status();
  Result<std::unique_ptr<pst::Message>> message = store.NewMessage(*folder);
  if (!message.ok()) return message.status();
  BALEPORT_RETURN_IF_ERROR((*message)->Set(pst::prop::String(mapi::tags::kSubject, "added")));
  BALEPORT_RETURN_IF_ERROR((*message)->Save());
  return store.Close();
}

}  // namespace baleport::proof
