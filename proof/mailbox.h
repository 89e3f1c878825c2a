// The mailboxes the proofs convert: message files with subjects unique to them, so that a
// store's contents can be matched against its sources after any failure.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "support/testing/command.h"

namespace baleport::proof {

struct Mailbox {
  std::string root;
  std::vector<std::string> files;     // relative to root, '/' between parts
  std::vector<std::string> subjects;  // of files[i]
};

// `count` messages "<prefix>-<n>" spread over Inbox, Sent, Projects/Alpha and the top
// folder; every fifth has an attachment. Bodies are padded to `bodySize` characters.
Mailbox WriteMailbox(const std::string& root, int count, const std::string& prefix, size_t bodySize = 0);

struct StoreView {
  std::string failures;                 // the readers and the checker that refused it, with their output
  std::multiset<std::string> subjects;  // of every item, as pypff reads them
};
// Without `everyReader`, only the checker and pypff.
StoreView ReadStore(const std::string& store, bool everyReader = true);

// `baleport ARGS`, its exit status and combined output.
testing::CommandResult Baleport(const std::vector<std::string>& arguments);
// `baleport ARGS` started in the background with its output in `log`, in a process group of
// its own (with the conversion processes of --each -j) whose id is the returned process id;
// -1 when it cannot start.
int StartBaleport(const std::vector<std::string>& arguments, const std::string& log);

// The messages of `mailbox` neither left as a source file nor found in `store`.
int LostMessages(const Mailbox& mailbox, const StoreView& store);

// The number in environment variable `name` (a proof's count or seed), or `fallback`.
int EnvironmentNumber(const char* name, int fallback);

}  // namespace baleport::proof
