// The message store (§2.4): store object, folders with their tables, items, named
// properties, on top of the node database.
#pragma once

#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "pst/messaging/item_builder.h"
#include "pst/messaging/name_map.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/search_updates.h"
#include "pst/messaging/table_append.h"
#include "pst/ndb/node_database.h"
#include "pst/store.h"

namespace baleport::pst {

class MessageStore final : public Store {
 public:
  static Result<std::unique_ptr<Store>> CreateAt(const std::string& path, std::string_view display_name,
                                                 const StoreOptions& options);
  static Result<std::unique_ptr<Store>> OpenAt(const std::string& path, const StoreOptions& options);

  const std::string& path() const override { return path_; }
  std::string display_name() const override;
  FolderId ipm_subtree() const override { return ipm_subtree_; }

  Result<FolderInfo> GetFolder(FolderId folder) override;
  Result<std::vector<FolderInfo>> ListFolders(FolderId parent) override;
  Result<FolderId> AddFolder(FolderId parent, std::string_view name, std::string_view container_class) override;
  Result<FolderId> FindFolder(FolderId parent, std::string_view name) override;
  Status EnsureStandardFolders() override;
  Result<FolderId> DefaultFolder(StandardFolder which) override;
  Result<uint16_t> MapNamedProperty(const NamedProperty& name) override;
  Result<std::unique_ptr<Message>> NewMessage(FolderId folder) override;
  Result<std::vector<MessageInfo>> ListMessages(FolderId folder) override;
  Result<std::vector<Property>> ReadMessageProperties(uint32_t message) override;
  Status Commit() override;
  Status Close() override;

 private:
  struct FolderState {
    uint32_t nid = 0;
    uint32_t parent = 0;
    ltp::PropertyMap props;
    std::optional<ltp::Table> hierarchy;
    // Contents rows stay in the store: rows saved since the last commit wait in pending_rows
    // (in append_columns) and are appended to the stored table at commit. A table that
    // cannot be appended to (a small one whose rows lie in its heap, or one laid out
    // otherwise) is held whole in `contents` until the commit lays it out anew.
    std::optional<ltp::Table> contents;
    std::optional<std::vector<ltp::TableColumn>> append_columns;
    std::vector<ltp::TableRow> pending_rows;
    bool append_verified = false;  // the stored row index was found to cover its rows
    size_t unwritten_row_bytes = 0;  // packed rows not yet in the table's blocks
    TableShapes contents_shapes;     // the table's data trees as last appended to
    // Folded by FoldedFolderName, to the child's id (the first of a name in row order);
    // filled with hierarchy.
    std::map<std::string, uint32_t> child_names;
    bool props_dirty = false, hierarchy_dirty = false, contents_dirty = false;
  };

  MessageStore(Env* env, std::string path, StoreOptions options)
      : env_(env), path_(std::move(path)), options_(options) {}
  Status Build(std::string_view display_name);
  Status LoadStore();
  Status Usable() const;
  Result<FolderState*> Folder(uint32_t nid);
  Result<ltp::Table*> Hierarchy(FolderState& f);
  // The columns a new contents row is laid out in.
  Result<const std::vector<ltp::TableColumn>*> ContentsColumns(FolderState& f);
  Status WriteContents(FolderState& f);
  Result<uint32_t> CreateFolder(uint32_t parent, std::string_view name, std::string_view container_class);
  Status SaveMessage(MessageBuilder& m, uint32_t folder);
  Status WriteFolders();
  Status CommitNow();
  void UpdateHierarchyRow(ltp::Table& table, const FolderState& child);
  // Gives node `nid` the template's table, shared when its count allows.
  Status ShareTemplate(uint32_t tmpl, uint32_t nid);
  Result<uint32_t> EntryIdProperty(const ltp::PropertyMap& props, uint32_t tag) const;
  void SetEntryId(ltp::PropertyMap& props, uint32_t tag, uint32_t nid);

  Env* env_;
  std::string path_;
  std::string temp_path_;  // where a new store is built until its first commit
  StoreOptions options_;
  std::unique_ptr<ndb::NodeDatabase> db_;
  std::array<uint8_t, 16> record_key_{};
  ltp::PropertyMap store_props_;
  bool store_dirty_ = false;
  std::optional<NameMap> names_;
  SearchUpdates search_;
  std::map<uint32_t, FolderState> folders_;
  SharedEmptyRecipients empty_recipients_;
  uint32_t ipm_subtree_ = disk::kNidIpmSubtree;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
  uint32_t row_version_ = 1;
  bool closed_ = false;
};

}  // namespace baleport::pst
