#include "cli/find_command.h"

#include <iostream>
#include <memory>

#include "cli/absolute_path.h"
#include "files/file_attributes.h"
#include "files/file_search.h"

namespace baleport {
namespace {

// The command line has no conversion page: no check box, no label to update.
class NoPage final : public SearchProgress {
 public:
  int DeleteCheckValue() override { return 0; }
  void SetQueueCaption(const std::string&) override {}
};

void Print(const char* title, const KeyedCollection& collection, std::ostream& out) {
  out << title << ":\n";
  for (size_t i = 1; i <= collection.Count(); ++i) out << "  " << collection.KeyAt(i) << "  " << collection.Item(i) << "\n";
}

}  // namespace

int RunFind(std::string folder, const std::string& pattern, std::ostream& out, std::ostream& errors) {
  if (!FolderExists(folder)) {
    errors << "baleport find: no folder at " << folder << "\n";
    return 1;
  }
  FoundFiles.Clear();
  FoundFolders.Clear();
  int32_t file_counter = 1;
  int32_t folder_counter = 1;
  NoPage page;
  std::vector<UnreadableFolder> unreadable;
  const Status searched = FindFilesRecursive(folder, pattern, file_counter, folder_counter, page, unreadable);
  Print("Folders", FoundFolders, out);
  Print("Files", FoundFiles, out);
  out << FoundFiles.Count() << " files matching " << pattern << " in " << FoundFolders.Count() << " folders below "
      << folder << "\n";
  for (const UnreadableFolder& failed : unreadable) errors << "baleport find: " << failed.Describe() << "\n";
  if (!searched.ok()) {
    errors << "baleport find: searching " << folder << ": " << searched.message() << "\n";
    return 1;
  }
  return unreadable.empty() ? 0 : 1;
}

void AddFindCommand(CLI::App& app) {
  struct Options {
    std::string folder;
    std::string pattern = "*.msg";
  };
  auto options = std::make_shared<Options>();
  CLI::App* find = app.add_subcommand("find", "List the folders and the message files below a folder");
  find->add_option("FOLDER", options->folder, "The folder to search")->required()->check(NonEmptyPath());
  find->add_option("--pattern", options->pattern, "File name pattern with the wildcards * and ?")
      ->capture_default_str();
  find->callback([options] {
    const int code = RunFind(AbsolutePath(options->folder), options->pattern, std::cout, std::cerr);
    if (code != 0) throw CLI::RuntimeError(code);
  });
}

}  // namespace baleport
