#include "pst/messaging/store_object.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "mapi/tags.h"
#include "pst/messaging/fixed_nodes.h"
#include "pst/messaging/node_io.h"
#include "pst/messaging/schema.h"
#include "pst/messaging/text.h"
#include "support/hex.h"
#include "support/little_endian.h"
#include "support/filesystem_path.h"
#include "support/process.h"

namespace baleport::pst {

using namespace mapi::tags;
using disk::MakeNid;
using disk::NidIndexOf;

namespace {

constexpr uint32_t kMsgFlagRead = 0x01;
constexpr uint32_t kTagReplVersionHistory = 0x0E340102, kTagReplFlags = 0x0E380003, kTagStoreFlag6633 = 0x6633000B,
                   kTagStoreVersion66FA = 0x66FA0003;
// About a thousand contents rows of small items.
constexpr size_t kRowBatchBytes = 256 * 1024;
constexpr uint16_t Id(mapi::PropTag tag) { return mapi::TagId(tag); }

ltp::PropertyValue Value(const Property& p) { return ltp::PropertyValue{mapi::TagType(p.tag), p.data, 0}; }

std::string Le32(uint32_t v) {
  std::string s;
  AppendLe<uint32_t>(s, v);
  return s;
}

std::optional<std::string> StringProp(const ltp::PropertyMap& props, mapi::PropTag tag) {
  auto it = props.find(Id(tag));
  if (it == props.end() || it->second.type != 0x001F) return std::nullopt;
  return Utf16LeToUtf8(it->second.data);
}

uint32_t Int32Prop(const ltp::PropertyMap& props, mapi::PropTag tag, uint32_t fallback = 0) {
  auto it = props.find(Id(tag));
  if (it == props.end() || it->second.data.size() != 4) return fallback;
  return LoadLe<uint32_t>(it->second.data, 0);
}

bool BoolProp(const ltp::PropertyMap& props, mapi::PropTag tag) {
  auto it = props.find(Id(tag));
  return it != props.end() && !it->second.data.empty() && it->second.data[0] != 0;
}

// A row's cells as a property map, for rows of folders not loaded.
ltp::PropertyMap RowProps(const ltp::Table& t, const ltp::TableRow& row) {
  ltp::Cells cells = ltp::UnpackCells(row.packed, t.columns.size());
  ltp::PropertyMap m;
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (cells[i]) m[Id(t.columns[i].tag)] = ltp::PropertyValue{mapi::TagType(t.columns[i].tag), std::move(*cells[i]), 0};
  }
  return m;
}

FolderInfo InfoFrom(uint32_t nid, const ltp::PropertyMap& p) {
  FolderInfo f;
  f.id = nid;
  f.name = StringProp(p, kDisplayName).value_or("");
  f.container_class = StringProp(p, kContainerClass).value_or("");
  // Readers show the stored counts less the hidden ones (§2.5.3.1).
  f.content_count = Int32Prop(p, kContentCount) - Int32Prop(p, kPstHiddenCount);
  f.unread_count = Int32Prop(p, kContentUnread) - Int32Prop(p, kPstHiddenUnread);
  f.has_subfolders = BoolProp(p, kSubfolders);
  return f;
}

std::string FolderLabel(uint32_t nid) { return "folder " + HexNumber(nid); }

std::string FolderOf(const std::string& path) {
  const std::string folder = Utf8String(Utf8Path(path).parent_path());
  return folder.empty() ? "." : folder;
}

// A writer killed before its new store's first commit leaves `<path>.partial-<pid>`, which
// holds nothing committed; once that process is gone the file is nobody's, and goes.
void RemoveStalePartials(Env* env, const std::string& path) {
  const std::string prefix = Utf8String(Utf8Path(path).filename()) + ".partial-";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(Utf8Path(FolderOf(path)), ec)) {
    const std::string name = Utf8String(entry.path().filename());
    const std::string digits = name.substr(std::min(name.size(), prefix.size()));
    if (!name.starts_with(prefix) || digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    if (ProcessMayBeRunning(static_cast<uint32_t>(std::stoul(digits)))) continue;  // may be at work
    (void)env->Remove(Utf8String(entry.path()));
  }
}

}  // namespace

Result<std::unique_ptr<Store>> MessageStore::CreateAt(const std::string& path, std::string_view display_name,
                                                      const StoreOptions& options) {
  Env* env = options.env ? options.env : Env::Default();
  if (env->Exists(path)) return Status::Error(StatusCode::kAlreadyExists, "creating " + path + " failed: the file already exists");
  std::unique_ptr<MessageStore> s(new MessageStore(env, path, options));
  s->options_.read_only = false;
  RemoveStalePartials(env, path);
  s->temp_path_ = path + ".partial-" + std::to_string(CurrentProcessId());
  auto file = env->CreateNew(s->temp_path_);
  if (!file.ok()) return file.status().WithContext("creating " + path);
  auto db = ndb::NodeDatabase::CreateNew(std::move(*file), disk::CryptMethod::kPermute);
  if (!db.ok()) return db.status();
  s->db_ = std::move(*db);
  Status st = s->Build(display_name);
  if (st.ok()) st = s->CommitNow();
  if (!st.ok()) {
    s->db_.reset();
    (void)env->Remove(s->temp_path_);
    s->temp_path_.clear();
    s->closed_ = true;
    return st.WithContext("creating " + path);
  }
  return std::unique_ptr<Store>(std::move(s));
}

Result<std::unique_ptr<Store>> MessageStore::OpenAt(const std::string& path, const StoreOptions& options) {
  Env* env = options.env ? options.env : Env::Default();
  std::unique_ptr<MessageStore> s(new MessageStore(env, path, options));
  // Everything is checked through a read-only handle first: a file refused is never written.
  auto file = env->OpenForRead(path);
  if (!file.ok()) return file.status();
  auto db = ndb::NodeDatabase::Open(std::move(*file));
  if (!db.ok()) return db.status();
  s->db_ = std::move(*db);
  BALEPORT_RETURN_IF_ERROR(s->LoadStore());
  if (!options.read_only) {
    auto wfile = env->OpenForUpdate(path);
    if (!wfile.ok()) return wfile.status();
    // The handle for update holds the lock: only a store changed before it was taken is
    // read again.
    auto unchanged = s->db_->Unchanged(**wfile);
    if (!unchanged.ok()) return unchanged.status();
    if (*unchanged) {
      s->db_->UseFile(std::move(*wfile));
    } else {
      s->db_.reset();
      s->folders_.clear();
      auto wdb = ndb::NodeDatabase::Open(std::move(*wfile));
      if (!wdb.ok()) return wdb.status();
      s->db_ = std::move(*wdb);
      BALEPORT_RETURN_IF_ERROR(s->LoadStore());
    }
    RemoveStalePartials(env, path);  // killed between linking its store and removing this name
  }
  return std::unique_ptr<Store>(std::move(s));
}

Status MessageStore::LoadStore() {
  auto props = ReadPcNode(*db_, disk::kNidMessageStore);
  if (!props.ok()) return props.status();
  store_props_ = std::move(*props);
  if (Int32Prop(store_props_, kPstPassword) != 0) {
    return Status::Error(StatusCode::kUnsupported, path_ + " is protected by a password, which is not supported");
  }
  auto key = store_props_.find(Id(kRecordKey));
  if (key == store_props_.end() || key->second.data.size() != 16) {
    return db_->Corrupt("the message store has no record key");
  }
  std::memcpy(record_key_.data(), key->second.data.data(), 16);
  auto ipm = EntryIdProperty(store_props_, kIpmSubTreeEntryId);
  if (!ipm.ok() || *ipm == 0) return db_->Corrupt("the message store does not name its top folder");
  ipm_subtree_ = *ipm;
  auto names = ReadPcNode(*db_, disk::kNidNameToIdMap);
  if (!names.ok()) return names.status();
  auto map = NameMap::Load(*names, path_);
  if (!map.ok()) return map.status();
  names_ = std::move(*map);
  auto search = SearchUpdates::Load(*db_);
  if (!search.ok()) return search.status();
  search_ = std::move(*search);
  auto root = Folder(disk::kNidRootFolder);
  if (!root.ok()) return root.status();
  auto top = Folder(ipm_subtree_);
  if (!top.ok()) return top.status();
  return Status::Ok();
}

Status MessageStore::Build(std::string_view display_name) {
  static std::mt19937_64 rng{std::random_device{}()};
  for (auto& b : record_key_) b = static_cast<uint8_t>(rng());
  BALEPORT_RETURN_IF_ERROR(WriteFixedNodes(db_.get()));
  names_ = NameMap::Initial();

  // The root folder is its own parent (§2.2.2.7.7.4.1).
  FolderState root;
  root.nid = root.parent = disk::kNidRootFolder;
  root.props[Id(kDisplayName)] = Value(prop::String(kDisplayName, ""));
  root.props[Id(kContentCount)] = Value(prop::Int32(kContentCount, 0));
  root.props[Id(kContentUnread)] = Value(prop::Int32(kContentUnread, 0));
  root.props[Id(kSubfolders)] = Value(prop::Bool(kSubfolders, false));
  root.hierarchy = ltp::Table{ltp::Table::Layout(HierarchyTableColumns()), {}};
  root.props_dirty = root.hierarchy_dirty = true;
  const uint32_t root_index = NidIndexOf(disk::kNidRootFolder);
  for (auto [type, tmpl] : {std::pair{disk::kNidTypeContentsTable, disk::kNidContentsTableTemplate},
                            std::pair{disk::kNidTypeAssocContentsTable, disk::kNidAssocContentsTableTemplate}}) {
    BALEPORT_RETURN_IF_ERROR(ShareTemplate(tmpl, MakeNid(root_index, type)));
  }
  folders_[root.nid] = std::move(root);

  auto ipm = CreateFolder(disk::kNidRootFolder, "Top of Personal Folders", "");
  if (!ipm.ok()) return ipm.status();
  auto finder = CreateFolder(disk::kNidRootFolder, "Search Root", "");
  if (!finder.ok()) return finder.status();
  // Outlook's junk-mail search folder, made by WriteFixedNodes, is the root's third child.
  FolderState spam;
  spam.nid = disk::kNidSpamSearchFolder;
  spam.props = SpamSearchFolderProperties();
  auto& root_state = folders_.at(disk::kNidRootFolder);
  UpdateHierarchyRow(*root_state.hierarchy, spam);
  root_state.child_names.emplace(FoldedFolderName(StringProp(spam.props, kDisplayName).value_or("")), spam.nid);
  auto deleted = CreateFolder(*ipm, "Deleted Items", "IPF.Note");
  if (!deleted.ok()) return deleted.status();
  ipm_subtree_ = *ipm;

  store_props_[Id(kRecordKey)] = ltp::PropertyValue{0x0102, std::string(record_key_.begin(), record_key_.end()), 0};
  store_props_[Id(kDisplayName)] = Value(prop::String(kDisplayName, display_name));
  SetEntryId(store_props_, kIpmSubTreeEntryId, *ipm);
  SetEntryId(store_props_, kIpmWastebasketEntryId, *deleted);
  SetEntryId(store_props_, kFinderEntryId, *finder);
  store_props_[Id(kValidFolderMask)] =
      Value(prop::Int32(kValidFolderMask, kFolderMaskSubtree | kFolderMaskWastebasket | kFolderMaskFinder));
  // Properties Outlook gives every store: its replica's version history (this store's own
  // GUID, version 1), replica flags, and no password.
  std::string history = Le32(1);
  for (int i = 0; i < 16; ++i) history.push_back(static_cast<char>(rng()));
  history += Le32(1);
  store_props_[Id(kTagReplVersionHistory)] = ltp::PropertyValue{0x0102, history, 0};
  store_props_[Id(kTagReplFlags)] = Value(prop::Int32(kTagReplFlags, 0));
  store_props_[Id(kTagStoreFlag6633)] = Value(prop::Bool(kTagStoreFlag6633, true));
  store_props_[Id(kTagStoreVersion66FA)] = Value(prop::Int32(kTagStoreVersion66FA, 0x000E0011));
  store_props_[Id(kPstPassword)] = Value(prop::Int32(kPstPassword, 0));
  store_dirty_ = true;
  return Status::Ok();
}

std::string MessageStore::display_name() const { return StringProp(store_props_, kDisplayName).value_or(""); }

Status MessageStore::Usable() const {
  if (closed_) return Status::Error("the store " + path_ + " is closed");
  if (options_.read_only) return Status::Error("the store " + path_ + " is open read-only");
  return Status::Ok();
}

Result<MessageStore::FolderState*> MessageStore::Folder(uint32_t nid) {
  if (closed_) return Status::Error("the store " + path_ + " is closed");
  auto it = folders_.find(nid);
  if (it != folders_.end()) return &it->second;
  const ndb::NodeEntry* n = db_->FindNode(nid);
  if (!n || disk::NidTypeOf(nid) != disk::kNidTypeNormalFolder) {
    return Status::Error(path_ + " has no " + FolderLabel(nid));
  }
  auto props = ReadPcNode(*db_, nid);
  if (!props.ok()) return props.status();
  FolderState f;
  f.nid = nid;
  f.parent = n->nid_parent;
  f.props = std::move(*props);
  return &(folders_[nid] = std::move(f));
}

Result<ltp::Table*> MessageStore::Hierarchy(FolderState& f) {
  if (!f.hierarchy) {
    auto t = ReadTcNode(*db_, MakeNid(NidIndexOf(f.nid), disk::kNidTypeHierarchyTable));
    if (!t.ok()) return t.status();
    f.hierarchy = std::move(*t);
    const int name_col = f.hierarchy->ColumnIndex(kDisplayName);
    for (const auto& r : f.hierarchy->rows) {
      ltp::Cells cells = ltp::UnpackCells(r.packed, f.hierarchy->columns.size());
      if (name_col >= 0 && cells[name_col]) f.child_names.emplace(FoldedFolderName(Utf16LeToUtf8(*cells[name_col])), r.id);
    }
  }
  return &*f.hierarchy;
}

Result<const std::vector<ltp::TableColumn>*> MessageStore::ContentsColumns(FolderState& f) {
  if (f.contents) return &f.contents->columns;
  if (f.append_columns) return &*f.append_columns;
  const uint32_t nid = MakeNid(NidIndexOf(f.nid), disk::kNidTypeContentsTable);
  const ndb::NodeEntry* n = db_->FindNode(nid);
  if (!n) return db_->Corrupt("the contents table of " + FolderLabel(f.nid) + " is missing");
  auto columns = AppendableTc(*db_, NodeStreams{n->bid_data, n->bid_sub}, "contents table of " + FolderLabel(f.nid));
  if (!columns.ok()) return columns.status();
  if (*columns) {
    f.append_columns = std::move(**columns);
    f.append_verified = false;
    return &*f.append_columns;
  }
  auto t = ReadTcNode(*db_, nid);
  if (!t.ok()) return t.status();
  f.contents = std::move(*t);
  return &f.contents->columns;
}

Status MessageStore::ShareTemplate(uint32_t tmpl, uint32_t nid) {
  const ndb::NodeEntry* t = db_->FindNode(tmpl);
  if (!t) return db_->Corrupt("a folder table template (node " + std::to_string(tmpl) + ") is missing");
  const NodeStreams shared{t->bid_data, t->bid_sub};
  if (db_->AddRef(shared.bid_data)) {
    if (shared.bid_sub == 0 || db_->AddRef(shared.bid_sub)) return db_->SetNode({nid, shared.bid_data, shared.bid_sub, 0});
    BALEPORT_RETURN_IF_ERROR(db_->Release(shared.bid_data));
  }
  // Shared as often as a reference count allows: a copy of its own.
  auto table = ReadTcNode(*db_, tmpl);
  if (!table.ok()) return table.status();
  auto copy = WriteTc(db_.get(), *table);
  if (!copy.ok()) return copy.status();
  return db_->SetNode({nid, copy->bid_data, copy->bid_sub, 0});
}

void MessageStore::UpdateHierarchyRow(ltp::Table& table, const FolderState& child) {
  ltp::TableRow* row = nullptr;
  for (auto& r : table.rows) {
    if (r.id == child.nid) row = &r;
  }
  if (!row) {
    table.rows.push_back(ltp::TableRow{child.nid, ltp::PackCells(ltp::Cells(table.columns.size()))});
    row = &table.rows.back();
  }
  ltp::Cells cells = ltp::UnpackCells(row->packed, table.columns.size());
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const uint32_t tag = table.columns[i].tag;
    if (tag == ltp::kTagLtpRowId) {
      cells[i] = Le32(child.nid);
    } else if (tag == ltp::kTagLtpRowVer) {
      cells[i] = Le32(row_version_++);
    } else if (auto it = child.props.find(Id(tag)); it != child.props.end() && it->second.type == mapi::TagType(tag)) {
      cells[i] = it->second.data;
    }
  }
  row->packed = ltp::PackCells(cells);
}

Result<uint32_t> MessageStore::CreateFolder(uint32_t parent_nid, std::string_view name, std::string_view container_class) {
  auto parent = Folder(parent_nid);
  if (!parent.ok()) return parent.status();
  auto hier = Hierarchy(**parent);
  if (!hier.ok()) return hier.status();
  if ((*parent)->child_names.count(FoldedFolderName(name))) {
    return Status::Error(StatusCode::kAlreadyExists, "Folder \"" + std::string(name) + "\" already exists in \"" +
                         StringProp((*parent)->props, kDisplayName).value_or("") + "\"");
  }
  const uint32_t index = db_->AllocateFolderIndex();
  const uint32_t nid = MakeNid(index, disk::kNidTypeNormalFolder);
  // A new folder's tables are the templates themselves until they change (§2.4.4).
  for (auto [type, tmpl] : {std::pair{disk::kNidTypeHierarchyTable, disk::kNidHierarchyTableTemplate},
                            std::pair{disk::kNidTypeContentsTable, disk::kNidContentsTableTemplate},
                            std::pair{disk::kNidTypeAssocContentsTable, disk::kNidAssocContentsTableTemplate}}) {
    BALEPORT_RETURN_IF_ERROR(ShareTemplate(tmpl, MakeNid(index, type)));
  }
  FolderState f;
  f.nid = nid;
  f.parent = parent_nid;
  f.props[Id(kDisplayName)] = Value(prop::String(kDisplayName, name));
  f.props[Id(kContentCount)] = Value(prop::Int32(kContentCount, 0));
  f.props[Id(kContentUnread)] = Value(prop::Int32(kContentUnread, 0));
  f.props[Id(kSubfolders)] = Value(prop::Bool(kSubfolders, false));
  if (!container_class.empty()) f.props[Id(kContainerClass)] = Value(prop::String(kContainerClass, container_class));
  f.props_dirty = true;
  if (parent_nid != disk::kNidRootFolder) (*hier)->AddColumns(SubfolderHierarchyColumns());
  UpdateHierarchyRow(**hier, f);
  (*parent)->hierarchy_dirty = true;
  (*parent)->child_names.emplace(FoldedFolderName(name), nid);
  if (!BoolProp((*parent)->props, kSubfolders)) {
    (*parent)->props[Id(kSubfolders)] = Value(prop::Bool(kSubfolders, true));
    (*parent)->props_dirty = true;
  }
  folders_[nid] = std::move(f);
  search_.FolderAdded(parent_nid, nid);
  return nid;
}

Result<FolderInfo> MessageStore::GetFolder(FolderId folder) {
  auto f = Folder(folder);
  if (!f.ok()) return f.status();
  return InfoFrom(folder, (*f)->props);
}

Result<std::vector<FolderInfo>> MessageStore::ListFolders(FolderId parent) {
  auto f = Folder(parent);
  if (!f.ok()) return f.status();
  auto hier = Hierarchy(**f);
  if (!hier.ok()) return hier.status();
  std::vector<FolderInfo> out;
  for (const auto& r : (*hier)->rows) {
    auto cached = folders_.find(r.id);
    out.push_back(cached != folders_.end() ? InfoFrom(r.id, cached->second.props) : InfoFrom(r.id, RowProps(**hier, r)));
  }
  return out;
}

Result<FolderId> MessageStore::AddFolder(FolderId parent, std::string_view name, std::string_view container_class) {
  BALEPORT_RETURN_IF_ERROR(Usable());
  if (name.empty()) return Status::Error("a folder needs a name");
  return CreateFolder(parent, name, container_class);
}

Result<FolderId> MessageStore::FindFolder(FolderId parent, std::string_view name) {
  auto f = Folder(parent);
  if (!f.ok()) return f.status();
  auto hier = Hierarchy(**f);  // fills child_names
  if (!hier.ok()) return hier.status();
  const auto child = (*f)->child_names.find(FoldedFolderName(name));
  if (child != (*f)->child_names.end()) return child->second;
  return Status::Error(StatusCode::kNotFound, "there is no folder \"" + std::string(name) + "\" in \"" +
                                                 StringProp((*f)->props, kDisplayName).value_or("") + "\"");
}

Result<uint32_t> MessageStore::EntryIdProperty(const ltp::PropertyMap& props, uint32_t tag) const {
  auto it = props.find(Id(tag));
  if (it == props.end()) return uint32_t{0};
  return EntryIdNid(record_key_, it->second.data);
}

void MessageStore::SetEntryId(ltp::PropertyMap& props, uint32_t tag, uint32_t nid) {
  props[Id(tag)] = ltp::PropertyValue{0x0102, MakeEntryId(record_key_, nid), 0};
}

Result<FolderId> MessageStore::DefaultFolder(StandardFolder which) {
  const StandardFolderInfo* info = nullptr;
  for (const auto& s : StandardFolders()) {
    if (s.which == which) info = &s;
  }
  auto exists = [&](uint32_t nid) { return nid != 0 && Folder(nid).ok(); };
  if (info->store_entry_id_tag) {
    auto nid = EntryIdProperty(store_props_, info->store_entry_id_tag);
    if (nid.ok() && exists(*nid)) return *nid;
  }
  auto by_name = FindFolder(ipm_subtree_, info->name);
  if (which == StandardFolder::kInbox) {
    // Where the store delivers mail is its Inbox, whatever its name.
    auto receiving = ReceiveFolder(*db_);
    if (!receiving.ok()) return receiving.status();
    if (exists(*receiving)) return *receiving;
    // Outlook keeps the Calendar's and the other folders' entry IDs on the Inbox, whatever
    // its name in the store's language; that finds it where no English name does.
    auto children = ListFolders(ipm_subtree_);
    if (children.ok()) {
      for (const auto& c : *children) {
        auto f = Folder(c.id);
        if (f.ok() && (*f)->props.count(Id(kIpmAppointmentEntryId))) return c.id;
      }
    }
    if (by_name.ok()) return by_name;
    return Status::Error(path_ + " has no Inbox folder");
  }
  if (info->root_entry_id_tag) {
    // Clients read these from the Inbox first, then from the root folder.
    auto inbox = DefaultFolder(StandardFolder::kInbox);
    for (uint32_t holder : {inbox.ok() ? *inbox : 0u, static_cast<uint32_t>(disk::kNidRootFolder)}) {
      if (!exists(holder)) continue;
      auto nid = EntryIdProperty(folders_[holder].props, info->root_entry_id_tag);
      if (nid.ok() && exists(*nid)) return *nid;
    }
  }
  if (which == StandardFolder::kJunkEmail) {
    auto inbox = DefaultFolder(StandardFolder::kInbox);
    if (inbox.ok()) {
      auto it = folders_[*inbox].props.find(mapi::TagId(kTagAdditionalRenEntryIds));
      if (it != folders_[*inbox].props.end() && it->second.type == mapi::TagType(kTagAdditionalRenEntryIds)) {
        auto items = ltp::SplitMultiValue(it->second.data);
        if (items.ok() && items->size() > kJunkEmailRenIndex) {
          uint32_t nid = EntryIdNid(record_key_, (*items)[kJunkEmailRenIndex]);
          if (exists(nid)) return nid;
        }
      }
    }
  }
  if (by_name.ok()) return by_name;
  return Status::Error(path_ + " has no " + std::string(info->name) + " folder");
}

Status MessageStore::EnsureStandardFolders() {
  BALEPORT_RETURN_IF_ERROR(Usable());
  std::map<StandardFolder, uint32_t> nids;
  for (const auto& s : StandardFolders()) {
    auto found = DefaultFolder(s.which);
    if (found.ok()) {
      nids[s.which] = *found;
      continue;
    }
    auto made = CreateFolder(ipm_subtree_, s.name, s.container_class);
    if (!made.ok()) return made.status();
    nids[s.which] = *made;
  }
  uint32_t mask = Int32Prop(store_props_, kValidFolderMask);
  auto root = Folder(disk::kNidRootFolder);
  if (!root.ok()) return root.status();
  auto inbox = Folder(nids[StandardFolder::kInbox]);
  if (!inbox.ok()) return inbox.status();
  for (const auto& s : StandardFolders()) {
    const uint32_t nid = nids[s.which];
    mask |= s.valid_mask_bit;
    if (s.store_entry_id_tag) SetEntryId(store_props_, s.store_entry_id_tag, nid);
    if (s.root_entry_id_tag) {
      SetEntryId((*root)->props, s.root_entry_id_tag, nid);
      SetEntryId((*inbox)->props, s.root_entry_id_tag, nid);
    }
  }
  // Junk E-mail is slot 4 of the Inbox's PidTagAdditionalRenEntryIds; other slots are kept.
  std::vector<std::string> ren;
  auto& iprops = (*inbox)->props;
  if (auto it = iprops.find(mapi::TagId(kTagAdditionalRenEntryIds));
      it != iprops.end() && it->second.type == mapi::TagType(kTagAdditionalRenEntryIds)) {
    auto items = ltp::SplitMultiValue(it->second.data);
    if (items.ok()) ren = std::move(*items);
  }
  if (ren.size() <= kJunkEmailRenIndex) ren.resize(kJunkEmailRenIndex + 1);
  ren[kJunkEmailRenIndex] = MakeEntryId(record_key_, nids[StandardFolder::kJunkEmail]);
  iprops[mapi::TagId(kTagAdditionalRenEntryIds)] =
      ltp::PropertyValue{mapi::TagType(kTagAdditionalRenEntryIds), ltp::JoinMultiValue(ren), 0};
  store_props_[Id(kValidFolderMask)] = Value(prop::Int32(kValidFolderMask, static_cast<int32_t>(mask)));
  auto receiving = ReceiveFolder(*db_);
  if (!receiving.ok()) return receiving.status();
  if (*receiving != nids[StandardFolder::kInbox]) BALEPORT_RETURN_IF_ERROR(WriteReceiveFolderTable(db_.get(), nids[StandardFolder::kInbox]));
  store_dirty_ = true;
  (*root)->props_dirty = true;
  (*inbox)->props_dirty = true;
  return Status::Ok();
}

Result<uint16_t> MessageStore::MapNamedProperty(const NamedProperty& name) {
  BALEPORT_RETURN_IF_ERROR(Usable());
  return names_->Map(name);
}

Result<std::unique_ptr<Message>> MessageStore::NewMessage(FolderId folder) {
  BALEPORT_RETURN_IF_ERROR(Usable());
  auto f = Folder(folder);
  if (!f.ok()) return f.status();
  return std::unique_ptr<Message>(
      new MessageBuilder(db_.get(), &empty_recipients_, [this, folder](MessageBuilder& m) { return SaveMessage(m, folder); }));
}

Status MessageStore::SaveMessage(MessageBuilder& m, uint32_t folder) {
  BALEPORT_RETURN_IF_ERROR(Usable());
  auto f = Folder(folder);
  if (!f.ok()) return f.status();
  auto columns = ContentsColumns(**f);
  if (!columns.ok()) return columns.status();
  auto streams = m.Build();
  if (!streams.ok()) return streams.status().WithContext("saving an item in " + FolderLabel(folder) + " of " + path_);
  const uint32_t nid = db_->AllocateNid(disk::kNidTypeNormalMessage);
  BALEPORT_RETURN_IF_ERROR(db_->SetNode({nid, streams->bid_data, streams->bid_sub, folder}));
  m.set_id(nid);
  search_.MessageAdded(folder, nid);

  // The folder's contents row, from the item's own properties (§2.4.4.5).
  const std::vector<ltp::TableColumn>& cols = **columns;
  ltp::Cells cells(cols.size());
  for (size_t i = 0; i < cols.size(); ++i) {
    const uint32_t tag = cols[i].tag;
    if (tag == ltp::kTagLtpRowId) {
      cells[i] = Le32(nid);
    } else if (tag == ltp::kTagLtpRowVer) {
      cells[i] = Le32(row_version_++);
    } else if (auto it = m.props().find(Id(tag)); it != m.props().end() && it->second.type == mapi::TagType(tag) && !it->second.subnode) {
      cells[i] = it->second.data;
    }
  }
  ltp::TableRow row{nid, ltp::PackCells(cells)};
  (*f)->unwritten_row_bytes += row.packed.size();
  if ((*f)->contents) {
    (*f)->contents->rows.push_back(std::move(row));
    (*f)->contents_dirty = true;
  } else {
    (*f)->pending_rows.push_back(std::move(row));
  }
  // Rows go to the table's blocks in batches, committed or not, so that memory does not grow
  // with the folder between commits.
  if ((*f)->unwritten_row_bytes >= kRowBatchBytes) {
    BALEPORT_RETURN_IF_ERROR(WriteContents(**f).WithContext("the item was saved, but its folder's table could not be written"));
  }

  auto& props = (*f)->props;
  const bool unread = (Int32Prop(m.props(), kMessageFlags) & kMsgFlagRead) == 0;
  props[Id(kContentCount)] = Value(prop::Int32(kContentCount, static_cast<int32_t>(Int32Prop(props, kContentCount) + 1)));
  if (unread) {
    props[Id(kContentUnread)] = Value(prop::Int32(kContentUnread, static_cast<int32_t>(Int32Prop(props, kContentUnread) + 1)));
  }
  (*f)->props_dirty = true;
  if (std::chrono::steady_clock::now() - last_commit_ > std::chrono::seconds(options_.commit_interval_seconds)) {
    return CommitNow().WithContext("the item was saved, but the commit after it failed");
  }
  return Status::Ok();
}

Result<std::vector<MessageInfo>> MessageStore::ListMessages(FolderId folder) {
  auto f = Folder(folder);
  if (!f.ok()) return f.status();
  std::vector<MessageInfo> out;
  auto add = [&out](const std::vector<ltp::TableColumn>& columns, uint32_t id, ltp::Cells& cells) {
    ltp::PropertyMap p;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (cells[i]) p[Id(columns[i].tag)] = ltp::PropertyValue{mapi::TagType(columns[i].tag), std::move(*cells[i]), 0};
    }
    MessageInfo m;
    m.id = id;
    m.message_class = StringProp(p, kMessageClass).value_or("");
    if (auto s = p.find(Id(kSubject)); s != p.end() && s->second.type == mapi::TagType(kSubject)) {
      m.subject = Utf16LeToUtf8(UnmarkedSubject(s->second.data));
    }
    m.flags = Int32Prop(p, kMessageFlags);
    m.size = Int32Prop(p, kMessageSize);
    out.push_back(std::move(m));
  };
  if ((*f)->contents) {
    for (const auto& r : (*f)->contents->rows) {
      ltp::Cells cells = ltp::UnpackCells(r.packed, (*f)->contents->columns.size());
      add((*f)->contents->columns, r.id, cells);
    }
    return out;
  }
  // The stored rows, read as they come, then those saved since the last commit.
  const uint32_t nid = MakeNid(NidIndexOf(folder), disk::kNidTypeContentsTable);
  const ndb::NodeEntry* n = db_->FindNode(nid);
  if (!n) return db_->Corrupt("the contents table of " + FolderLabel(folder) + " is missing");
  std::vector<ltp::TableColumn> columns;
  BALEPORT_RETURN_IF_ERROR(VisitTc(
      *db_, NodeStreams{n->bid_data, n->bid_sub}, "contents table of " + FolderLabel(folder),
      [&](uint32_t id, ltp::Cells& cells) {
        add(columns, id, cells);
        return Status::Ok();
      },
      &columns));
  for (const auto& r : (*f)->pending_rows) {
    ltp::Cells cells = ltp::UnpackCells(r.packed, (*f)->append_columns->size());
    add(*(*f)->append_columns, r.id, cells);
  }
  return out;
}

Result<std::vector<Property>> MessageStore::ReadMessageProperties(uint32_t message) {
  if (closed_) return Status::Error("the store " + path_ + " is closed");
  if (disk::NidTypeOf(message) != disk::kNidTypeNormalMessage || !db_->FindNode(message)) {
    return Status::Error(path_ + " has no item " + std::to_string(message));
  }
  auto props = ReadPcNode(*db_, message);
  if (!props.ok()) return props.status();
  std::vector<Property> out;
  for (auto& [id, v] : *props) out.push_back(Property{mapi::MakeTag(id, v.type), std::move(v.data)});
  return out;
}

Status MessageStore::WriteFolders() {
  for (auto& [nid, f] : folders_) {
    if (!f.props_dirty) continue;
    auto pc = WritePc(db_.get(), f.props);
    if (!pc.ok()) return pc.status();
    BALEPORT_RETURN_IF_ERROR(db_->SetNode({nid, pc->bid_data, pc->bid_sub, f.parent}));
    f.props_dirty = false;
    if (nid == disk::kNidRootFolder) continue;
    // The parent's row repeats the folder's name, class and counts (§2.4.4.3).
    auto parent = Folder(f.parent);
    if (!parent.ok()) return parent.status();
    auto hier = Hierarchy(**parent);
    if (!hier.ok()) return hier.status();
    UpdateHierarchyRow(**hier, f);
    (*parent)->hierarchy_dirty = true;
  }
  for (auto& [nid, f] : folders_) {
    const uint32_t index = NidIndexOf(nid);
    auto current = [&](uint8_t type) {
      const ndb::NodeEntry* n = db_->FindNode(MakeNid(index, type));
      return n ? NodeStreams{n->bid_data, n->bid_sub} : NodeStreams{};
    };
    BALEPORT_RETURN_IF_ERROR(WriteContents(f));
    if (f.hierarchy_dirty) {
      auto tc = WriteTc(db_.get(), *f.hierarchy, current(disk::kNidTypeHierarchyTable));
      if (!tc.ok()) return tc.status();
      BALEPORT_RETURN_IF_ERROR(db_->SetNode({MakeNid(index, disk::kNidTypeHierarchyTable), tc->bid_data, tc->bid_sub, 0}));
      f.hierarchy_dirty = false;
    }
  }
  return Status::Ok();
}

Status MessageStore::WriteContents(FolderState& f) {
  if (!f.contents_dirty && f.pending_rows.empty()) return Status::Ok();
  const uint32_t nid = MakeNid(NidIndexOf(f.nid), disk::kNidTypeContentsTable);
  const std::string where = "contents table of " + FolderLabel(f.nid);
  const ndb::NodeEntry* n = db_->FindNode(nid);
  if (!n) return db_->Corrupt("the " + where + " is missing");
  const NodeStreams current{n->bid_data, n->bid_sub};
  std::optional<NodeStreams> written;
  if (!f.pending_rows.empty()) {
    auto appended = AppendTc(db_.get(), current, f.pending_rows, !f.append_verified, where, &f.contents_shapes);
    if (!appended.ok()) return appended.status();
    written = *appended;
    if (!written) {
      // A table that turned out not to take appended rows is laid out anew, once: the new
      // layout takes them from then on.
      auto t = ReadTc(*db_, current, where);
      if (!t.ok()) return t.status();
      f.contents = std::move(*t);
      for (auto& r : f.pending_rows) f.contents->rows.push_back(std::move(r));
      f.pending_rows.clear();
      f.contents_dirty = true;
    }
  }
  if (!written) {
    auto tc = WriteTc(db_.get(), *f.contents, current);
    if (!tc.ok()) return tc.status();
    written = *tc;
  }
  BALEPORT_RETURN_IF_ERROR(db_->SetNode({nid, written->bid_data, written->bid_sub, 0}));
  // A table written whole is read again when next needed: it may take appended rows now.
  f.append_verified = f.contents_dirty = false;
  if (f.contents) {
    f.contents.reset();
    f.append_columns.reset();
  } else {
    f.append_verified = true;
  }
  f.pending_rows.clear();
  f.unwritten_row_bytes = 0;
  return Status::Ok();
}

Status MessageStore::CommitNow() {
  BALEPORT_RETURN_IF_ERROR(WriteFolders());
  if (names_->dirty()) {
    auto pc = WritePc(db_.get(), names_->ToPc());
    if (!pc.ok()) return pc.status();
    BALEPORT_RETURN_IF_ERROR(db_->SetNode({disk::kNidNameToIdMap, pc->bid_data, pc->bid_sub, 0}));
    names_->MarkClean();
  }
  if (store_dirty_) {
    auto pc = WritePc(db_.get(), store_props_);
    if (!pc.ok()) return pc.status();
    BALEPORT_RETURN_IF_ERROR(db_->SetNode({disk::kNidMessageStore, pc->bid_data, pc->bid_sub, 0}));
    store_dirty_ = false;
  }
  BALEPORT_RETURN_IF_ERROR(search_.Flush(db_.get()));
  BALEPORT_RETURN_IF_ERROR(db_->Commit().WithContext("committing " + path_));
  if (!temp_path_.empty()) {
    // The first commit made a valid store: now it may appear under its name.
    BALEPORT_RETURN_IF_ERROR(env_->RenameNoReplace(temp_path_, path_));
    temp_path_.clear();
    BALEPORT_RETURN_IF_ERROR(env_->SyncFolder(FolderOf(path_)));
  }
  last_commit_ = std::chrono::steady_clock::now();
  return Status::Ok();
}

Status MessageStore::Commit() {
  BALEPORT_RETURN_IF_ERROR(Usable());
  return CommitNow();
}

Status MessageStore::Close() {
  if (closed_) return Status::Ok();
  Status s = options_.read_only ? Status::Ok() : CommitNow();
  closed_ = true;
  db_.reset();
  folders_.clear();
  return s;
}

}  // namespace baleport::pst
