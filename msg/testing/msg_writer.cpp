#include "msg/testing/msg_writer.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>

#include <cstring>
#include <fstream>
#include <map>

#include "msg/testing/gobject_ptr.h"
#include "msg/text_decoder.h"
#include "support/hex.h"
#include "support/little_endian.h"
#include "support/utf16_text.h"

namespace baleport::msg::testing {
namespace {

using mapi::PropType;

template <typename T>
std::vector<uint8_t> Bytes(T v) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &v, sizeof(T));  // the fixtures are built on little-endian hosts
  return out;
}

FixtureProperty Make(mapi::PropTag tag, std::vector<uint8_t> value) {
  FixtureProperty p;
  p.tag = tag;
  p.value = std::move(value);
  return p;
}

bool IsInline(mapi::PropTag tag) {
  if (mapi::IsMultiValued(tag)) return false;
  switch (static_cast<PropType>(mapi::TagType(tag))) {
    case PropType::kNull:
    case PropType::kInt16:
    case PropType::kInt32:
    case PropType::kFloat32:
    case PropType::kFloat64:
    case PropType::kCurrency:
    case PropType::kAppTime:
    case PropType::kError:
    case PropType::kBoolean:
    case PropType::kInt64:
    case PropType::kSysTime: return true;
    default: return false;
  }
}

// CRC-32 of a name's UTF-16LE bytes as the lookup streams use it: reflected polynomial
// 0xEDB88320, no initial or final inversion (checked against the samples' streams).
uint32_t NameCrc(const uint8_t* data, size_t n) {
  uint32_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
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

  Result<GPtr<GsfOutfile>> Storage(GsfOutfile* parent, const std::string& name) {
    GsfOutput* out = gsf_outfile_new_child(parent, name.c_str(), TRUE);
    if (out == nullptr) return Status::Error("cannot create storage " + name);
    return GPtr<GsfOutfile>(GSF_OUTFILE(out));
  }

  Status Close(GsfOutfile* storage) {
    return gsf_output_close(GSF_OUTPUT(storage)) ? Status::Ok() : Status::Error("closing a storage failed");
  }

  // The property stream and the value streams of one object.
  Status WriteObject(GsfOutfile* dir, const FixtureObject& object, std::vector<uint8_t> header, bool has_embedded) {
    std::vector<uint8_t> stream = std::move(header);
    auto entry = [&](mapi::PropTag tag, uint32_t flags, const uint8_t value[8]) {
      uint8_t e[16] = {};
      StoreLe<uint32_t>(e, tag);
      StoreLe<uint32_t>(e + 4, flags);
      std::memcpy(e + 8, value, 8);
      stream.insert(stream.end(), e, e + 16);
    };
    for (const FixtureProperty& p : object.properties) {
      uint8_t value[8] = {};
      const std::string name = "__substg1.0_" + Hex(p.tag);
      const uint16_t base = mapi::TagType(p.tag) & ~mapi::kMultiValued;
      if (IsInline(p.tag)) {
        std::memcpy(value, p.value.data(), std::min<size_t>(8, p.value.size()));
      } else if (mapi::IsMultiValued(p.tag) && !p.values.empty()) {
        // Length stream: one record per value, then one stream per value.
        const bool binary = base == static_cast<uint16_t>(PropType::kBinary);
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
      entry(p.tag, p.flags, value);
    }
    if (has_embedded) {
      uint8_t value[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
      entry(mapi::MakeTag(0x3701, PropType::kObject), 0x6, value);
    }
    for (const auto& [name, bytes] : object.extra_streams) BALEPORT_RETURN_IF_ERROR(Stream(dir, name, bytes));
    return Stream(dir, "__properties_version1.0", object.property_stream ? *object.property_stream : stream);
  }

  Status WriteMessage(GsfOutfile* dir, const FixtureMessage& message, size_t header_size) {
    std::vector<uint8_t> header(header_size, 0);
    const auto recipients = static_cast<uint32_t>(message.recipients.size());
    const auto attachments = static_cast<uint32_t>(message.attachments.size());
    StoreLe<uint32_t>(header.data() + 8, recipients);
    StoreLe<uint32_t>(header.data() + 12, attachments);
    StoreLe<uint32_t>(header.data() + 16, recipients);
    StoreLe<uint32_t>(header.data() + 20, attachments);
    BALEPORT_RETURN_IF_ERROR(WriteObject(dir, message, header, false));
    for (uint32_t i = 0; i < recipients; ++i) {
      Result<GPtr<GsfOutfile>> sub = Storage(dir, "__recip_version1.0_#" + Hex(i));
      if (!sub.ok()) return sub.status();
      BALEPORT_RETURN_IF_ERROR(WriteObject(sub->get(), message.recipients[i], std::vector<uint8_t>(8, 0), false));
      BALEPORT_RETURN_IF_ERROR(Close(sub->get()));
    }
    for (uint32_t i = 0; i < attachments; ++i) {
      const FixtureAttachment& a = message.attachments[i];
      Result<GPtr<GsfOutfile>> sub = Storage(dir, "__attach_version1.0_#" + Hex(i));
      if (!sub.ok()) return sub.status();
      BALEPORT_RETURN_IF_ERROR(WriteObject(sub->get(), a, std::vector<uint8_t>(8, 0), a.embedded != nullptr));
      if (a.embedded) {
        Result<GPtr<GsfOutfile>> inner = Storage(sub->get(), "__substg1.0_3701000D");
        if (!inner.ok()) return inner.status();
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(inner->get()), a.clsid.data());
        BALEPORT_RETURN_IF_ERROR(WriteMessage(inner->get(), *a.embedded, 24));
        BALEPORT_RETURN_IF_ERROR(Close(inner->get()));
      }
      BALEPORT_RETURN_IF_ERROR(Close(sub->get()));
    }
    return Status::Ok();
  }

  Status WriteNames(GsfOutfile* root) {
    std::vector<uint8_t> guids, entries, strings;
    std::map<uint32_t, std::vector<uint8_t>> buckets;  // name-to-id lookup streams by number
    std::map<Guid, uint16_t> guid_index;
    for (size_t i = 0; i < file_.names.size(); ++i) {
      const PropertyName& n = file_.names[i];
      uint16_t index;
      if (n.guid == kPsMapi) {
        index = 1;
      } else if (n.guid == kPsPublicStrings) {
        index = 2;
      } else {
        auto [it, added] = guid_index.emplace(n.guid, static_cast<uint16_t>(3 + guid_index.size()));
        if (added) guids.insert(guids.end(), n.guid.bytes.begin(), n.guid.bytes.end());
        index = it->second;
      }
      uint8_t e[8];
      const bool is_string = n.kind == PropertyName::Kind::kString;
      uint32_t key = n.lid;
      if (is_string) {
        StoreLe<uint32_t>(e, static_cast<uint32_t>(strings.size()));
        const std::u16string& text = n.name.empty() ? Utf8ToUtf16(n.name_utf8, BadText::kReplace) : n.name;
        uint8_t length[4];
        StoreLe<uint32_t>(length, static_cast<uint32_t>(text.size() * 2));
        strings.insert(strings.end(), length, length + 4);
        const size_t start = strings.size();
        for (char16_t c : text) {
          strings.push_back(static_cast<uint8_t>(c));
          strings.push_back(static_cast<uint8_t>(c >> 8));
        }
        key = NameCrc(strings.data() + start, strings.size() - start);
        while (strings.size() % 4 != 0) strings.push_back(0);
      } else {
        StoreLe<uint32_t>(e, n.lid);
      }
      const uint16_t kind_and_guid = static_cast<uint16_t>((index << 1) | (is_string ? 1 : 0));
      StoreLe<uint16_t>(e + 4, kind_and_guid);
      StoreLe<uint16_t>(e + 6, static_cast<uint16_t>(i));
      entries.insert(entries.end(), e, e + 8);
      // Lookup record: the LID or the name's CRC, then the entry's second half ([MS-OXMSG] 2.2.3.2).
      std::vector<uint8_t>& bucket = buckets[0x1000 + (key ^ kind_and_guid) % 0x1F];
      uint8_t record[8];
      StoreLe<uint32_t>(record, key);
      std::copy(e + 4, e + 8, record + 4);
      bucket.insert(bucket.end(), record, record + 8);
    }
    Result<GPtr<GsfOutfile>> dir = Storage(root, "__nameid_version1.0");
    if (!dir.ok()) return dir.status();
    BALEPORT_RETURN_IF_ERROR(Stream(dir->get(), "__substg1.0_00020102", guids));
    BALEPORT_RETURN_IF_ERROR(Stream(dir->get(), "__substg1.0_00030102", entries));
    BALEPORT_RETURN_IF_ERROR(Stream(dir->get(), "__substg1.0_00040102", strings));
    for (const auto& [number, records] : buckets) {
      BALEPORT_RETURN_IF_ERROR(Stream(dir->get(), "__substg1.0_" + Hex(number, 4) + "0102", records));
    }
    return Close(dir->get());
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

FixtureObject& FixtureObject::Add(FixtureProperty property) {
  properties.push_back(std::move(property));
  return *this;
}
FixtureObject& FixtureObject::Int16(uint16_t id, int16_t v) { return Add(Make(mapi::MakeTag(id, PropType::kInt16), Bytes(v))); }
FixtureObject& FixtureObject::Int32(uint16_t id, int32_t v) { return Add(Make(mapi::MakeTag(id, PropType::kInt32), Bytes(v))); }
FixtureObject& FixtureObject::Int64(uint16_t id, int64_t v) { return Add(Make(mapi::MakeTag(id, PropType::kInt64), Bytes(v))); }
FixtureObject& FixtureObject::Float32(uint16_t id, float v) { return Add(Make(mapi::MakeTag(id, PropType::kFloat32), Bytes(v))); }
FixtureObject& FixtureObject::Float64(uint16_t id, double v) { return Add(Make(mapi::MakeTag(id, PropType::kFloat64), Bytes(v))); }
FixtureObject& FixtureObject::Currency(uint16_t id, int64_t v) { return Add(Make(mapi::MakeTag(id, PropType::kCurrency), Bytes(v))); }
FixtureObject& FixtureObject::AppTime(uint16_t id, double v) { return Add(Make(mapi::MakeTag(id, PropType::kAppTime), Bytes(v))); }
FixtureObject& FixtureObject::Bool(uint16_t id, bool v) { return Add(Make(mapi::MakeTag(id, PropType::kBoolean), Bytes<uint16_t>(v ? 1 : 0))); }
FixtureObject& FixtureObject::Time(uint16_t id, uint64_t filetime) { return Add(Make(mapi::MakeTag(id, PropType::kSysTime), Bytes(filetime))); }
FixtureObject& FixtureObject::Unicode(uint16_t id, std::string_view utf8) {
  return Add(Make(mapi::MakeTag(id, PropType::kUnicode), Utf16Bytes(utf8)));
}
FixtureObject& FixtureObject::String8(uint16_t id, std::string_view bytes) {
  return Add(Make(mapi::MakeTag(id, PropType::kString8), std::vector<uint8_t>(bytes.begin(), bytes.end())));
}
FixtureObject& FixtureObject::Binary(uint16_t id, std::vector<uint8_t> bytes) {
  return Add(Make(mapi::MakeTag(id, PropType::kBinary), std::move(bytes)));
}
FixtureObject& FixtureObject::GuidValue(uint16_t id, const Guid& guid) {
  return Add(Make(mapi::MakeTag(id, PropType::kGuid), std::vector<uint8_t>(guid.bytes.begin(), guid.bytes.end())));
}
FixtureObject& FixtureObject::MultiFixed(mapi::PropTag tag, std::vector<uint8_t> packed) {
  return Add(Make(tag, std::move(packed)));
}
FixtureObject& FixtureObject::MultiVariable(mapi::PropTag tag, std::vector<std::vector<uint8_t>> values) {
  FixtureProperty p;
  p.tag = tag;
  p.values = std::move(values);
  return Add(std::move(p));
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
