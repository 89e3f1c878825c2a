#include "conversion/store/source_index.h"

#include <xxhash.h>

#include <memory>
#include <vector>

#include "mapi/tags.h"
#include "support/little_endian.h"

namespace baleport {
namespace {

// The program's own property set: {8f3c6a52-1d4e-4b7a-9c21-5e0b7d3a9f64}.
constexpr pst::Guid kBaleportProperties = {0x52, 0x6a, 0x3c, 0x8f, 0x4e, 0x1d, 0x7a, 0x4b,
                                           0x9c, 0x21, 0x5e, 0x0b, 0x7d, 0x3a, 0x9f, 0x64};
constexpr char kSourceDigestName[] = "SourceDigest";
constexpr size_t kPiece = size_t{1} << 20;

uint64_t SubjectKey(std::string_view subject) { return XXH3_64bits(subject.data(), subject.size()); }

std::string Digest(XXH128_hash_t hash, uint64_t size) {
  std::string digest;
  AppendLe<uint64_t>(digest, hash.low64);
  AppendLe<uint64_t>(digest, hash.high64);
  AppendLe<uint64_t>(digest, size);
  return digest;
}

}  // namespace

Result<std::string> SourceDigest(Env& env, const std::string& path) {
  Result<std::unique_ptr<File>> file = env.OpenForRead(path);
  if (!file.ok()) return file.status();
  Result<uint64_t> size = (*file)->Size();
  if (!size.ok()) return size.status();
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
  if (state == nullptr || XXH3_128bits_reset(state.get()) != XXH_OK) {
    return Status::Error("digesting " + path + ": out of memory");
  }
  const size_t pieceSize = static_cast<size_t>(std::min<uint64_t>(*size, kPiece));
  const auto piece = std::make_unique_for_overwrite<char[]>(pieceSize);
  for (uint64_t at = 0; at < *size; at += pieceSize) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(*size - at, pieceSize));
    BALEPORT_RETURN_IF_ERROR((*file)->Read(at, piece.get(), n));
    XXH3_128bits_update(state.get(), piece.get(), n);
  }
  return Digest(XXH3_128bits_digest(state.get()), *size);
}

std::string SourceDigest(std::span<const uint8_t> bytes) {
  return Digest(XXH3_128bits(bytes.data(), bytes.size()), bytes.size());
}

Result<mapi::PropTag> SourceIndex::DigestTag() {
  if (!tag_) {
    Result<uint16_t> id = store_->MapNamedProperty({kBaleportProperties, std::nullopt, kSourceDigestName});
    if (!id.ok()) return id.status();
    tag_ = mapi::MakeTag(*id, mapi::PropType::kBinary);
  }
  return *tag_;
}

Status SourceIndex::Keep(pst::Message& item, const std::string& digest) {
  Result<mapi::PropTag> tag = DigestTag();
  if (!tag.ok()) return tag.status();
  return item.Set(pst::prop::Binary(*tag, digest));
}

Result<bool> SourceIndex::Claim(pst::FolderId folder, std::string_view subject, const std::string& digest) {
  auto listed = folders_.find(folder);
  if (listed == folders_.end()) {
    Result<std::vector<pst::MessageInfo>> items = store_->ListMessages(folder);
    if (!items.ok()) return items.status();
    listed = folders_.try_emplace(folder).first;
    for (const pst::MessageInfo& item : *items) listed->second[SubjectKey(item.subject)].push_back(item.id);
  }
  const auto candidates = listed->second.find(SubjectKey(subject));
  if (candidates == listed->second.end()) return false;
  Result<mapi::PropTag> tag = DigestTag();
  if (!tag.ok()) return tag.status();
  for (const uint32_t id : candidates->second) {
    if (claimed_.contains(id)) continue;
    Result<std::vector<pst::Property>> properties = store_->ReadMessageProperties(id);
    if (!properties.ok()) return properties.status();
    for (const pst::Property& p : *properties) {
      if (p.tag != *tag || p.data != digest) continue;
      claimed_.insert(id);
      return true;
    }
  }
  return false;
}

}  // namespace baleport
