#include "msg/testing/msg_writer.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>

#include "support/hex.h"
#include "support/little_endian.h"
#include "support/utf16_text.h"

namespace baleport::msg::testing {
namespace {

using mapi::PropType;

struct Unref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, Unref>;

template <typename T>
std::vector<uint8_t> Bytes(T v) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &v, sizeof(T));  // the fixtures are built on little-endian hosts
  return out;
}

// Whether the value sits in its property-stream entry rather than in a stream of its own.
bool IsInline(mapi::PropTag tag) {
  constexpr uint16_t kInline[] = {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x000A, 0x000B, 0x0014, 0x0040};
  return std::ranges::find(kInline, mapi::TagType(tag)) != std::end(kInline);
}

class Writer {
 public:
  explicit Writer(const FixtureFile& file) : file_(file) {}

  Status Write(GsfOutput* sink) {
    GPtr<GsfOutfile> root(gsf_outfile_msole_new_full(sink, file_.sector_size, 64));
    if (!root) return Status::Error("cannot start a compound file of " + std::to_string(file_.sector_size) + "-byte sectors");
    BALEPORT_RETURN_IF_ERROR(WriteMessage(root.get(), file_.message, 32));
    if (!file_.names.empty()) BALEPORT_RETURN_IF_ERROR(WriteNames(root.get()));
    if (!gsf_output_close(GSF_OUTPUT(root.get()))) return Status::Error("closing the compound file failed");
    return Status::Ok();
  }

 private:
  Status Stream(GsfOutfile* parent, const std::string& name, const std::vector<uint8_t>& data) {
    GPtr<GsfOutput> out(gsf_outfile_new_child(parent, name.c_str(), FALSE));
    if (!out) return Status::Error("cannot create stream " + name);
    bool ok = data.empty() || gsf_output_write(out.get(), data.size(), data.data());
    ok = gsf_output_close(out.get()) && ok;
    return ok ? Status::Ok() : Status::Error("writing stream " + name + " failed");
  }

  // A storage under `parent`, filled by `fill`, then closed.
  template <typename Fill>
  Status Storage(GsfOutfile* parent, const std::string& name, Fill fill) {
    GsfOutput* out = gsf_outfile_new_child(parent, name.c_str(), TRUE);
    if (out == nullptr) return Status::Error("cannot create storage " + name);
    GPtr<GsfOutfile> storage(GSF_OUTFILE(out));
    BALEPORT_RETURN_IF_ERROR(fill(storage.get()));
    return gsf_output_close(out) ? Status::Ok() : Status::Error("closing storage " + name + " failed");
  }

  // The property stream and the value streams of one object.
  Status WriteObject(GsfOutfile* dir, const FixtureObject& object, std::vector<uint8_t> header, bool has_embedded) {
    std::vector<uint8_t> stream = std::move(header);
    auto entry = [&](mapi::PropTag tag, const uint8_t value[8]) {
      uint8_t e[16] = {};
      StoreLe<uint32_t>(e, tag);
      StoreLe<uint32_t>(e + 4, 0x6);  // readable, writable
      std::memcpy(e + 8, value, 8);
      stream.insert(stream.end(), e, e + 16);
    };
    for (const FixtureProperty& p : object.properties) {
      uint8_t value[8] = {};
      const std::string name = "__substg1.0_" + Hex(p.tag);
      if (IsInline(p.tag)) {
        std::memcpy(value, p.value.data(), std::min<size_t>(8, p.value.size()));
      } else if (mapi::IsMultiValued(p.tag) && !p.values.empty()) {
        // Length stream: one record per value, then one stream per value.
        const bool binary = (mapi::TagType(p.tag) & ~mapi::kMultiValued) == static_cast<uint16_t>(PropType::kBinary);
        std::vector<uint8_t> lengths;
        for (size_t i = 0; i < p.values.size(); ++i) {
          uint8_t record[8] = {};
          StoreLe<uint32_t>(record, static_cast<uint32_t>(p.values[i].size()));
          lengths.insert(lengths.end(), record, record + (binary ? 8 : 4));
          if (!p.omit_stream) BALEPORT_RETURN_IF_ERROR(Stream(dir, name + "-" + Hex(static_cast<uint32_t>(i)), p.values[i]));
        }
        StoreLe<uint32_t>(value, static_cast<uint32_t>(lengths.size()));
        if (!p.omit_stream) BALEPORT_RETURN_IF_ERROR(Stream(dir, name, lengths));
      } else {
        uint32_t size = static_cast<uint32_t>(p.value.size());
        if (mapi::TagType(p.tag) == static_cast<uint16_t>(PropType::kUnicode)) size += 2;
        if (mapi::TagType(p.tag) == static_cast<uint16_t>(PropType::kString8)) size += 1;
        StoreLe<uint32_t>(value, size);
        if (!p.omit_stream) BALEPORT_RETURN_IF_ERROR(Stream(dir, name, p.value));
      }
      entry(p.tag, value);
    }
    if (has_embedded) {
      uint8_t value[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
      entry(mapi::MakeTag(0x3701, PropType::kObject), value);
    }
    for (const auto& [name, bytes] : object.extra_streams) BALEPORT_RETURN_IF_ERROR(Stream(dir, name, bytes));
    return Stream(dir, "__properties_version1.0", object.property_stream ? *object.property_stream : stream);
  }

  Status WriteMessage(GsfOutfile* dir, const FixtureMessage& message, size_t header_size) {
    std::vector<uint8_t> header(header_size, 0);
    const auto recipients = static_cast<uint32_t>(message.recipients.size());
    const auto attachments = static_cast<uint32_t>(message.attachments.size());
    for (size_t at : {8, 16}) {  // the next ids to give, then the counts
      StoreLe<uint32_t>(header.data() + at, recipients);
      StoreLe<uint32_t>(header.data() + at + 4, attachments);
    }
    BALEPORT_RETURN_IF_ERROR(WriteObject(dir, message, header, false));
    for (uint32_t i = 0; i < recipients; ++i) {
      BALEPORT_RETURN_IF_ERROR(Storage(dir, "__recip_version1.0_#" + Hex(i), [&](GsfOutfile* storage) {
        return WriteObject(storage, message.recipients[i], std::vector<uint8_t>(8, 0), false);
      }));
    }
    for (uint32_t i = 0; i < attachments; ++i) {
      const FixtureAttachment& a = message.attachments[i];
      BALEPORT_RETURN_IF_ERROR(Storage(dir, "__attach_version1.0_#" + Hex(i), [&](GsfOutfile* storage) {
        BALEPORT_RETURN_IF_ERROR(WriteObject(storage, a, std::vector<uint8_t>(8, 0), a.embedded != nullptr));
        if (!a.embedded) return Status::Ok();
        return Storage(storage, "__substg1.0_3701000D", [&](GsfOutfile* inner) {
          gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(inner), a.clsid.data());
          return WriteMessage(inner, *a.embedded, 24);
        });
      }));
    }
    return Status::Ok();
  }

  // The GUID, entry and string streams; no name-to-id lookup streams, which readers do not need.
  Status WriteNames(GsfOutfile* root) {
    std::vector<uint8_t> guids, entries, strings;
    std::map<Guid, uint16_t> guid_index;
    for (size_t i = 0; i < file_.names.size(); ++i) {
      const PropertyName& n = file_.names[i];
      uint16_t index = n.guid == kPsMapi ? 1 : n.guid == kPsPublicStrings ? 2 : 0;
      if (index == 0) {
        auto [it, added] = guid_index.emplace(n.guid, static_cast<uint16_t>(3 + guid_index.size()));
        if (added) guids.insert(guids.end(), n.guid.bytes.begin(), n.guid.bytes.end());
        index = it->second;
      }
      const bool is_string = n.kind == PropertyName::Kind::kString;
      uint8_t e[8];
      StoreLe<uint32_t>(e, is_string ? static_cast<uint32_t>(strings.size()) : n.lid);
      StoreLe<uint16_t>(e + 4, static_cast<uint16_t>((index << 1) | (is_string ? 1 : 0)));
      StoreLe<uint16_t>(e + 6, static_cast<uint16_t>(i));
      entries.insert(entries.end(), e, e + 8);
      if (is_string) {
        const std::string text = Utf16LeBytes(n.name.empty() ? Utf8ToUtf16(n.name_utf8, BadText::kReplace) : n.name);
        strings.resize(strings.size() + 4);
        StoreLe<uint32_t>(strings.data() + strings.size() - 4, static_cast<uint32_t>(text.size()));
        strings.insert(strings.end(), text.begin(), text.end());
        strings.resize((strings.size() + 3) / 4 * 4, 0);
      }
    }
    return Storage(root, "__nameid_version1.0", [&](GsfOutfile* storage) {
      BALEPORT_RETURN_IF_ERROR(Stream(storage, "__substg1.0_00020102", guids));
      BALEPORT_RETURN_IF_ERROR(Stream(storage, "__substg1.0_00030102", entries));
      return Stream(storage, "__substg1.0_00040102", strings);
    });
  }

  const FixtureFile& file_;
};

// libgsf 1.14.50 writes one FAT sector too few into files of 4096-byte sectors once their
// FAT needs a second sector that holds only free entries: the header lists a sector past
// the end. Append that sector, all free, as a correct writer would have.
void CompleteFatSectors(std::vector<uint8_t>* bytes) {
  if (bytes->size() < 512 || LoadLe<uint16_t>(bytes->data() + 0x1E) != 12) return;
  const size_t sector = 4096;
  const uint32_t fat_sectors = std::min<uint32_t>(LoadLe<uint32_t>(bytes->data() + 0x2C), 109);
  for (uint32_t i = 0; i < fat_sectors; ++i) {
    const uint64_t end = (uint64_t{LoadLe<uint32_t>(bytes->data() + 0x4C + 4 * i)} + 2) * sector;
    if (end > bytes->size() && end - bytes->size() <= sector) bytes->resize(end, 0xFF);
  }
}

}  // namespace

FixtureObject& FixtureObject::Raw(mapi::PropTag tag, std::vector<uint8_t> bytes) {
  properties.push_back({tag, std::move(bytes), {}});
  return *this;
}
FixtureObject& FixtureObject::Int32(uint16_t id, int32_t v) { return Raw(mapi::MakeTag(id, PropType::kInt32), Bytes(v)); }
FixtureObject& FixtureObject::Bool(uint16_t id, bool v) { return Raw(mapi::MakeTag(id, PropType::kBoolean), Bytes<uint16_t>(v ? 1 : 0)); }
FixtureObject& FixtureObject::Time(uint16_t id, uint64_t filetime) { return Raw(mapi::MakeTag(id, PropType::kSysTime), Bytes(filetime)); }
FixtureObject& FixtureObject::Unicode(uint16_t id, std::string_view utf8) { return Raw(mapi::MakeTag(id, PropType::kUnicode), Utf16Bytes(utf8)); }
FixtureObject& FixtureObject::String8(uint16_t id, std::string_view bytes) {
  return Raw(mapi::MakeTag(id, PropType::kString8), std::vector<uint8_t>(bytes.begin(), bytes.end()));
}
FixtureObject& FixtureObject::Binary(uint16_t id, std::vector<uint8_t> bytes) { return Raw(mapi::MakeTag(id, PropType::kBinary), std::move(bytes)); }
FixtureObject& FixtureObject::MultiVariable(mapi::PropTag tag, std::vector<std::vector<uint8_t>> values) {
  properties.push_back({tag, {}, std::move(values)});
  return *this;
}

std::vector<uint8_t> Utf16Bytes(std::string_view utf8) {
  const std::string bytes = Utf16LeBytes(Utf8ToUtf16(utf8, BadText::kReplace));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return out;
}

Result<std::vector<uint8_t>> WriteMsgToMemory(const FixtureFile& file) {
  GPtr<GsfOutput> sink(gsf_output_memory_new());
  BALEPORT_RETURN_IF_ERROR(Writer(file).Write(sink.get()));
  const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
  std::vector<uint8_t> bytes(data, data + gsf_output_size(sink.get()));
  CompleteFatSectors(&bytes);
  return bytes;
}

Status WriteMsgToPath(const FixtureFile& file, const std::string& path) {
  Result<std::vector<uint8_t>> bytes = WriteMsgToMemory(file);
  if (!bytes.ok()) return bytes.status().WithContext(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
  out.close();
  return out ? Status::Ok() : Status::Error("writing " + path + " failed");
}

}  // namespace baleport::msg::testing
