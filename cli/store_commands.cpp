#include "cli/store_commands.h"

#include <iostream>
#include <memory>

#include "cli/absolute_path.h"
#include "cli/counted.h"
#include "pst/check/checker.h"
#include "pst/store.h"

namespace baleport {
namespace {

Status ListTree(pst::Store& store, pst::FolderId folder, int depth, std::ostream& out) {
  Result<pst::FolderInfo> info = store.GetFolder(folder);
  if (!info.ok()) return info.status();
  out << std::string(static_cast<size_t>(depth) * 2, ' ') << info->name << "  " << Counted(info->content_count, "item")
      << "\n";
  Result<std::vector<pst::FolderInfo>> children = store.ListFolders(folder);
  if (!children.ok()) return children.status();
  for (const pst::FolderInfo& child : *children) BALEPORT_RETURN_IF_ERROR(ListTree(store, child.id, depth + 1, out));
  return Status::Ok();
}

}  // namespace

int RunList(const std::string& path, std::ostream& out, std::ostream& errors) {
  pst::StoreOptions options;
  options.read_only = true;
  Result<std::unique_ptr<pst::Store>> store = pst::Store::Open(AbsolutePath(path), options);
  if (!store.ok()) {
    errors << "baleport list: " << store.status().message() << "\n";
    return 2;
  }
  out << (*store)->display_name() << " (" << (*store)->path() << ")\n";
  if (Status listed = ListTree(**store, (*store)->ipm_subtree(), 0, out); !listed.ok()) {
    errors << "baleport list: " << listed.message() << "\n";
    return 2;
  }
  return 0;
}

int RunCheck(const std::string& path, std::ostream& out, std::ostream& errors) {
  const std::string absolute = AbsolutePath(path);
  const pst::CheckReport report = pst::CheckStore(Env::Default(), absolute);
  out << absolute << ": " << Counted(report.folders, "folder") << ", " << Counted(report.messages, "message") << ", "
      << Counted(report.nodes, "node") << ", " << Counted(report.blocks, "block") << "; "
      << Counted(static_cast<int64_t>(report.errors.size()), "error") << ", "
      << Counted(static_cast<int64_t>(report.warnings.size()), "warning") << "\n";
  (report.ok() ? out : errors) << report.Summary();
  return report.ok() ? 0 : 1;
}

void AddStoreCommands(CLI::App& app) {
  auto path = std::make_shared<std::string>();
  CLI::App* list = app.add_subcommand("list", "Print a store's folder tree with the number of items of each folder");
  list->add_option("STORE", *path, "The .pst file")->required()->check(NonEmptyPath());
  list->callback([path] {
    if (const int code = RunList(*path, std::cout, std::cerr); code != 0) throw CLI::RuntimeError(code);
  });
  CLI::App* check = app.add_subcommand("check", "Check a store's structure with the store engine's checker");
  check->add_option("STORE", *path, "The .pst file")->required()->check(NonEmptyPath());
  check->callback([path] {
    if (const int code = RunCheck(*path, std::cout, std::cerr); code != 0) throw CLI::RuntimeError(code);
  });
}

}  // namespace baleport
