// An in-memory message store behind the store interface, for tests of the run: stores kept
// by path across sessions, and chosen operations made to fail on demand.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conversion/store/store_interface.h"

namespace baleport {

// Each matched against the argument given: the store path (kLogonPstStore), the message
// file's path (kImport, kSave), "6" or "5" (kGetDefaultFolder), "" (kLogoff).
enum class FakeOp { kLogonPstStore, kGetDefaultFolder, kImport, kSave, kLogoff };

struct FakeFolder {
  std::string name;
  std::vector<std::unique_ptr<FakeFolder>> children;  // in the order they were added
  std::vector<std::string> items;                     // the sources of the saved items

  FakeFolder* Child(const std::string& childName);
};

// One store file: what LogonPstStore opens or creates at a path.
struct FakeStoreFile {
  FakeFolder root{"Top of Personal Folders", {}, {}};
  std::string displayName;  // as given when it was last opened
};

class FakeStoreLibrary : public StoreLibrary {
 public:
  // The names ValidateIPMTree gives the Inbox and Sent Items.
  std::string inboxName = "Inbox";
  std::string sentName = "Sent Items";

  // Makes every later `op` whose argument contains `match` (every one when empty) fail
  // with `message`.
  void FailOn(FakeOp op, std::string message, std::string match = "") {
    failures_.push_back({op, std::move(match), std::move(message)});
  }
  Status Check(FakeOp op, const std::string& argument);

  // Store files by path; a test may put one in place before a run.
  std::map<std::string, FakeStoreFile> files;
  // Called at every Commit.
  std::function<void(FakeStoreFile&)> onCommit;

  // The saved items' sources in the folder at a "\"-separated path below the top ("" is the top).
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
