#include "proof/mailbox.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "conversion/tests/message_files.h"
#include "pst/tests/readers.h"

namespace baleport::proof {

namespace fs = std::filesystem;

Mailbox WriteMailbox(const std::string& root, int count, const std::string& prefix, size_t bodySize) {
  static const char* const kFolders[] = {"", "Inbox/", "Sent/", "Projects/Alpha/"};
  Mailbox mailbox{root, {}, {}};
  for (int n = 0; n < count; ++n) {
    const std::string relative = std::string(kFolders[n % 4]) + "m" + std::to_string(n) + ".msg";
    fs::create_directories(fs::path(root + "/" + relative).parent_path());
    const std::string subject = prefix + "-" + std::to_string(n);
    testing::WriteMessageFile(root + "/" + relative, subject, n % 5 == 0, bodySize);
    mailbox.files.push_back(relative);
    mailbox.subjects.push_back(subject);
  }
  return mailbox;
}

StoreView ReadStore(const std::string& store, bool everyReader) {
  StoreView view;
  auto note = [&view](const std::string& who, const testing::CommandResult& r) {
    if (r.exit_code != 0) view.failures += who + " failed (" + std::to_string(r.exit_code) + "): " + r.output + "\n";
  };
  note("baleport check", Baleport({"check", store}));
  if (everyReader) view.failures += pst::testing::ReaderFailures(store);
  const testing::CommandResult dump = pst::testing::PypffDump(store);
  note("pypff", dump);
  std::istringstream lines(dump.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("M ")) continue;
    const size_t from = line.find(" | ");
    const size_t to = line.find(" | ", from + 3);
    if (from != std::string::npos && to != std::string::npos) view.subjects.insert(line.substr(from + 3, to - from - 3));
  }
  return view;
}

testing::CommandResult Baleport(const std::vector<std::string>& arguments) {
  std::string command = BALEPORT_BINARY;
  for (const std::string& a : arguments) command += " " + testing::Quote(a);
  return testing::Run(command);
}

int StartBaleport(const std::vector<std::string>& arguments, const std::string& log) {
  std::vector<std::string> argv{BALEPORT_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testing::Start(argv, log, true);
}

int EnvironmentNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

int LostMessages(const Mailbox& mailbox, const StoreView& store) {
  int lost = 0;
  for (size_t i = 0; i < mailbox.files.size(); ++i) {
    if (!fs::exists(mailbox.root + "/" + mailbox.files[i]) && store.subjects.count(mailbox.subjects[i]) == 0) ++lost;
  }
  return lost;
}

}  // namespace baleport::proof
