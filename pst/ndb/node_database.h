// The node database (§2.2): header, node and block B-trees, blocks, data trees, subnode trees.
//
// The B-trees are held in memory and written anew at each commit; blocks are written as soon
// as they are made, always into space the last commit does not use (copy-on-write), and the
// header is the last write of a commit.
//
// Reference counts follow §2.2.2.7.7.3.1: a block made here starts with cRef 2 (its BBT entry
// plus one holder). Handing a BID to SetNode, to a SubnodeMap written by WriteSubnodes, or to
// a data tree gives that holder's reference away; AddRef makes another one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pst/disk/crypt.h"
#include "pst/disk/layout.h"
#include "pst/ndb/chunked_map.h"
#include "pst/ndb/space_map.h"
#include "support/env.h"
#include "support/status.h"

namespace baleport::pst::ndb {

struct NodeEntry {
  uint32_t nid = 0;
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
  uint32_t nid_parent = 0;
};

struct BlockInfo {
  uint64_t ib = 0;
  uint16_t cb = 0;
  uint16_t cref = 0;
  uint32_t crc = 0;  // of the stored bytes, for blocks written since opening; 0 = not known
};

struct SubnodeEntry {
  uint64_t bid_data = 0;
  uint64_t bid_sub = 0;
};
using SubnodeMap = std::map<uint32_t, SubnodeEntry>;
// A store of 250,000 items has about a million blocks (see chunked_map.h). Inserting or erasing
// moves entries, so pointers from FindNode/FindBlock are good only until the next change.
using NodeIndex = ChunkedMap<uint32_t, NodeEntry>;
using BlockIndex = ChunkedMap<uint64_t, BlockInfo>;

class NodeDatabase {
 public:
  // Lays out an empty store in `file` (which must be new); nothing is durable before Commit.
  static Result<std::unique_ptr<NodeDatabase>> CreateNew(std::unique_ptr<File> file, disk::CryptMethod crypt);
  // Reads and checks the header and both B-trees. Writing needs a file opened for update.
  static Result<std::unique_ptr<NodeDatabase>> Open(std::unique_ptr<File> file);

  // True when `file` (the same store, opened again) still holds the header loaded here and
  // its size: nothing has changed since, so it can take the place of this one's file.
  Result<bool> Unchanged(File& file) const;
  void UseFile(std::unique_ptr<File> file) { file_ = std::move(file); }

  const std::string& path() const { return file_->path(); }
  disk::CryptMethod crypt() const { return static_cast<disk::CryptMethod>(header_.bCryptMethod); }
  const disk::HEADER& header() const { return header_; }
  uint64_t file_size() const { return file_size_; }
  // An error naming this file and what is wrong with it.
  Status Corrupt(const std::string& what) const;

  // Nodes.
  const NodeEntry* FindNode(uint32_t nid) const;
  const NodeIndex& nodes() const { return nodes_; }
  // Puts `entry` in place of any node of that NID, releasing the previous entry's blocks.
  Status SetNode(const NodeEntry& entry);
  // A fresh NID of that type from the header's counters (§2.2.2.6 rgnid).
  uint32_t AllocateNid(uint8_t nid_type);
  // Folder NIDs advance the three folder-table counters with them, as Outlook does.
  uint32_t AllocateFolderIndex();

  // File offsets of the B-tree pages of the last commit (or of the file as opened).
  std::vector<uint64_t> tree_pages() const;
  File* file() const { return file_.get(); }

  // Blocks.
  const BlockIndex& blocks() const { return blocks_; }
  const BlockInfo* FindBlock(uint64_t bid) const;
  // The payload of one block, decoded.
  Result<std::string> ReadBlock(uint64_t bid) const;
  // The leaf blocks of a data tree in order (one block when bid is a data block).
  Result<std::vector<uint64_t>> DataTreeLeaves(uint64_t bid) const;
  // The whole stream of a data tree; refuses streams larger than the file.
  Result<std::string> ReadStream(uint64_t bid) const;
  Result<SubnodeMap> ReadSubnodes(uint64_t bid_sub) const;
  // Writes one block (encoding external ones, never an empty one) and returns its BID with cRef 2.
  Result<uint64_t> WriteBlock(std::string_view payload, bool internal);
  // SLBLOCK/SIBLOCK tree for `entries` (0 when empty); takes the entries' references.
  Result<uint64_t> WriteSubnodes(const SubnodeMap& entries);
  // False when the block is missing or already shared as often as its 16-bit count allows;
  // the caller then writes a copy instead.
  bool AddRef(uint64_t bid);
  static constexpr uint16_t kMaxSharing = 0xFFF0;
  // Drops one reference; a block that loses its last holder is freed with what it names.
  Status Release(uint64_t bid);
  // Frees one block made since the last commit, leaving what it names alone.
  void ForgetBlock(uint64_t bid);
  // Takes another reference to data block `candidate` if it holds exactly `payload`, so
  // a rewritten stream keeps the blocks that did not change.
  bool ReuseIfSame(uint64_t candidate, std::string_view payload);

  // Writes the B-trees, maps and header, durably. The previous commit stays intact until
  // the header write; space it used is reused only after this returns.
  Status Commit();
  bool dirty() const { return dirty_; }

 private:
  NodeDatabase(std::unique_ptr<File> file) : file_(std::move(file)) {}
  Status Load();
  // One B-tree page as last written, kept so that a commit rewrites only pages that change.
  struct TreePage {
    uint64_t first_key = 0;
    uint64_t ib = 0;
    uint64_t bid = 0;
    uint32_t crc = 0;  // of the 496 bytes before the trailer; equal ones are compared in full
  };
  using TreeLevels = std::vector<std::vector<TreePage>>;  // [0] = leaves; each level in key order

  Status LoadTree(uint64_t bid, uint64_t ib, bool nbt, int expected_level, uint64_t min_key, int depth);
  Status LoadMaps();
  Result<std::string> ReadBlockRaw(uint64_t bid, const BlockInfo& info) const;
  Status CollectLeaves(uint64_t bid, int depth, std::vector<uint64_t>& out, uint64_t& total) const;
  Status ReadSubnodesInto(uint64_t bid, int depth, SubnodeMap& out) const;
  Result<uint64_t> WritePage(uint8_t ptype, const uint8_t* data496, uint64_t ib_fixed);
  // The leaf records (rec_size bytes each, key first) with lower <= key < upper, or from
  // lower to the end.
  using LeafRecords = std::function<std::string(uint64_t lower, uint64_t upper, bool to_end)>;
  // Writes the tree, keeping every page of `levels` whose content is unchanged: leaves whose
  // key range holds no `touched` key (sorted) are kept without a look. Pages no longer used
  // go to `freed`.
  Result<disk::BREF> WriteTree(const LeafRecords& leaf_records, const std::vector<uint64_t>& touched, uint32_t rec_size,
                               uint8_t ptype, uint8_t leaf_max, const TreeLevels& levels, TreeLevels& out,
                               std::vector<uint64_t>& freed);
  Status WriteMaps(bool sync);
  void DescribeSpace();
  Status WriteHeader(bool sync);
  void FreeBlock(uint64_t bid, const BlockInfo& info);
  // Notes a change to a block's entry, given as it was before the change.
  void TouchBlock(uint64_t bid, const BlockInfo& before);

  // Blocks are written through a buffer of adjacent ones; a failed write poisons the database,
  // since blocks it holds may then be missing from the file. Flushes the buffer unless a
  // block of `size` bytes at `ib` can be appended to it.
  Status StartBufferedWrite(uint64_t ib, size_t size);
  Status FlushWrites();

  std::unique_ptr<File> file_;
  std::string write_buffer_;
  uint64_t write_buffer_ib_ = 0;
  Status write_failure_;
  disk::HEADER header_{};
  uint64_t file_size_ = 0;
  NodeIndex nodes_;
  BlockIndex blocks_;
  SpaceMap space_;
  TreeLevels nbt_levels_, bbt_levels_;
  TreeLevels nbt_spare_, bbt_spare_;  // the levels before the last commit, reused by the next
  std::vector<uint64_t> touched_nodes_, touched_blocks_;  // keys changed since the last commit
  // Entries of touched blocks as the last commit left them, and the first BID it had not
  // used: a reference taken and given back again changes no page.
  std::unordered_map<uint64_t, BlockInfo> committed_entries_;
  uint64_t committed_next_bid_ = 0;
  bool dirty_ = false;
};

// Writes one stream as blocks while it is produced: plain streams are cut into 8176-byte
// blocks, heaps hand in their blocks one by one. Blocks of an unfinished stream are released
// when the writer goes away.
class StreamWriter {
 public:
  explicit StreamWriter(NodeDatabase* db) : db_(db) {}
  ~StreamWriter();
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  Status Write(std::string_view data);
  Status AppendBlock(std::string_view block);
  // Leaf blocks of the stream's previous version: a leaf that comes out the same is reused.
  void ReuseFrom(std::vector<uint64_t> leaves) { previous_ = std::move(leaves); }
  uint64_t size() const { return size_; }
  // The data block or XBLOCK/XXBLOCK of the stream, with one reference for the caller; an
  // empty stream is refused (there are no zero-byte blocks).
  Result<uint64_t> Finish();

 private:
  Status FlushPending();
  NodeDatabase* db_;
  std::string pending_;
  std::vector<uint64_t> leaves_;
  std::vector<uint32_t> leaf_sizes_;
  std::vector<uint64_t> previous_;
  std::vector<bool> reused_;
  uint64_t size_ = 0;
  bool finished_ = false;
};


}  // namespace baleport::pst::ndb
