// An in-memory message store behind the store interface, for tests of the run: stores
// kept by path across sessions, a journal of the operations, and chosen operations made
// to fail on demand.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "conversion/store/store_interface.h"

namespace baleport {

// Each matched against the argument given: the store path (kLogonPstStore), the message
// file's path (kImport, kSave), "6" or "5" (kGetDefaultFolder), "" (the others).
enum class FakeOp { kCreateSession, kLogonPstStore, kGetDefaultFolder, kImport, kSave, kLogoff };

struct FakeItem {
  std::string source;  // the imported file
  int32_t messageFlags = 0;
  bool committed = false;
};

struct FakeFolder {
  std::string name;
  std::vector<std::unique_ptr<FakeFolder>> children;
  std::vector<FakeItem> items;  // saved items

  FakeFolder* Child(const std::string& childName);
};

// One store file: what LogonPstStore opens or creates at a path.
struct FakeStoreFile {
  FakeFolder root{"Top of Personal Folders", {}, {}};
  bool validated = false;
};

class FakeStoreLibrary : public StoreLibrary {
 public:
  // The names ValidateIPMTree gives the Inbox and Sent Items.
  std::string inboxName = "Inbox";
  std::string sentName = "Sent Items";

  // Makes every later `op` whose argument contains `match` (every one when empty) fail
  // with `message`.
  void FailOn(FakeOp op, std::string message, std::string match = "");
  Status Check(FakeOp op, const std::string& argument);

  // Store files by path; a test may put one in place before a run.
  std::map<std::string, FakeStoreFile> files;
  // "LogonPstStore <path> <display name>", "Add folder <parent path>\<name>", "Delete <file>".
  std::vector<std::string> journal;
  // Called at every successful Commit, before the items are marked committed.
  std::function<void(FakeStoreFile&)> onCommit;

  // The folder at a "\"-separated path below the top ("" is the top), or nullptr.
  FakeFolder* FolderAt(const std::string& storePath, const std::string& folderPath);
  // The source paths of the items in the folder at `folderPath`.
  std::vector<std::string> ItemSources(const std::string& storePath, const std::string& folderPath);

  Result<std::unique_ptr<RDOSession>> CreateSession() override;
  Result<std::unique_ptr<MAPIUtils>> CreateMAPIUtils() override;
  // Reads nothing; the import fails when it is given the reading of another file.
  std::unique_ptr<SourceRead> ReadSource(const std::string& path, Result<std::unique_ptr<File>> opened) override;

 private:
  struct Failure {
    FakeOp op;
    std::string match;
    std::string message;
  };
  std::vector<Failure> failures_;
};

}  // namespace baleport
