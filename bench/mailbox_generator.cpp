#include "bench/mailbox_generator.h"

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "support/little_endian.h"

namespace baleport::bench {
namespace {

using msg::Guid;
using msg::PropertyName;
using msg::testing::FixtureAttachment;
using msg::testing::FixtureFile;
using msg::testing::FixtureMessage;
using msg::testing::FixtureObject;

constexpr Guid kPsetidCommon = {{0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x46}};
constexpr Guid kPsInternetHeaders = {{0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00,
                                      0x00, 0x00, 0x46}};

// The engine's own arithmetic, not <random>'s distributions, so that a seed gives the same
// mailbox with every standard library.
class Rng {
 public:
  explicit Rng(uint64_t seed) : engine_(seed) {}
  uint64_t Below(uint64_t n) { return n == 0 ? 0 : engine_() % n; }
  bool Chance(int percent) { return Below(100) < static_cast<uint64_t>(percent); }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) { return items[Below(N)]; }
  // Log-uniform in [lo, hi].
  uint64_t Sized(uint64_t lo, uint64_t hi) {
    const double u = static_cast<double>(engine_() >> 11) / 9007199254740992.0;
    return static_cast<uint64_t>(std::exp(std::log(double(lo)) + u * (std::log(double(hi)) - std::log(double(lo)))));
  }
  void Fill(std::vector<uint8_t>* out, size_t n) {
    out->resize(n);
    for (size_t i = 0; i < n; i += 8) {
      uint8_t word[8];
      StoreLe<uint64_t>(word, engine_());
      std::copy_n(word, std::min<size_t>(8, n - i), out->data() + i);
    }
  }

 private:
  std::mt19937_64 engine_;
};

// Text in one script, with the code page that can carry it as 8-bit strings.
struct Language {
  uint32_t code_page;
  uint32_t locale;
  const char* words[8];
};

const Language kLanguages[] = {
    {1252, 0x0407, {"Grüße", "aus", "Köln", "Überweisung", "Bestätigung", "für", "März", "Straße"}},
    {1252, 0x040C, {"Réunion", "été", "à", "déjà", "reçu", "élève", "façade", "Noël"}},
    {1251, 0x0419, {"Привет", "отчёт", "за", "квартал", "встреча", "завтра", "счёт", "Москва"}},
    {932, 0x0411, {"会議", "の", "お知らせ", "東京", "資料", "確認", "予定", "ありがとう"}},
    {936, 0x0804, {"会议", "通知", "北京", "报告", "附件", "确认", "明天", "谢谢"}},
    {1252, 0x0409, {"Quarterly", "report", "meeting", "invoice", "review", "draft", "budget", "update"}},
};

const char* const kFolders[] = {"Inbox",         "Inbox/Newsletters", "Sent Items",         "Projects/Alpha",
                                "Projects/Beta", "Archive/2023",      "Archive/Entwürfe", "Клиенты"};
const char* const kSmallFolders[] = {"Inbox", "Sent", "Projects/Alpha"};
const char* const kPeople[] = {"Anna Müller", "José Álvarez", "Иван Петров", "田中 太郎", "王伟", "Chloé Dubois",
                               "Sam O'Neill", "Zoë Ångström"};
const char* const kExtensions[] = {".pdf", ".docx", ".xlsx", ".png", ".jpg", ".zip", ".txt"};

std::string Words(Rng& rng, const Language& language, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && language.code_page != 932 && language.code_page != 936) out += ' ';
    out += rng.Pick(language.words);
  }
  return out;
}

// The 8-bit form of text the language's code page can carry.
std::string Encode(const std::string& utf8, uint32_t code_page) {
  const std::string charset = "CP" + std::to_string(code_page);
  iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
  std::string out(utf8.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* o = out.data();
  size_t out_left = out.size();
  iconv(cd, &in, &in_left, &o, &out_left);
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}

std::string Body(Rng& rng, const Language& language, uint64_t size) {
  std::string body;
  while (body.size() < size) body += Words(rng, language, 12) + ".\r\n";
  return body;
}

// Uncompressed RTF in the compressed-RTF container ([MS-OXRTFCP] 2.1.3.1, "MELA").
std::vector<uint8_t> RtfBody(const std::string& text) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 ";
  for (unsigned char c : text) {
    if (c < 0x80) {
      rtf += static_cast<char>(c);
    } else {
      rtf += "?";
    }
  }
  rtf += "}";
  std::vector<uint8_t> out(16 + rtf.size());
  StoreLe<uint32_t>(out.data(), static_cast<uint32_t>(rtf.size() + 12));
  StoreLe<uint32_t>(out.data() + 4, static_cast<uint32_t>(rtf.size()));
  StoreLe<uint32_t>(out.data() + 8, 0x414C454D);
  std::copy(rtf.begin(), rtf.end(), out.begin() + 16);
  return out;
}

uint64_t FileTime(Rng& rng) {
  const uint64_t jan_2020 = 132223104000000000ULL;
  return jan_2020 + rng.Below(4ULL * 365 * 24 * 3600) * 10000000ULL;
}

void SetString(FixtureObject& o, uint16_t id, const std::string& utf8, bool ansi, uint32_t code_page) {
  if (ansi) {
    o.String8(id, Encode(utf8, code_page));
  } else {
    o.Unicode(id, utf8);
  }
}

FixtureMessage Message(Rng& rng, const MailboxProfile& profile, int depth, std::string* subject_out) {
  const Language& language = rng.Pick(kLanguages);
  const bool ansi = rng.Chance(15);
  FixtureMessage m;
  const std::string subject = (rng.Chance(30) ? "RE: " : "") + Words(rng, language, 2 + rng.Below(5));
  *subject_out = subject;
  const std::string sender = rng.Pick(kPeople);
  if (ansi) m.Int32(0x3FFD, static_cast<int32_t>(language.code_page));
  m.Int32(0x3FF1, static_cast<int32_t>(language.locale));
  SetString(m, 0x001A, "IPM.Note", ansi, language.code_page);
  SetString(m, 0x0037, subject, ansi, language.code_page);
  m.Unicode(0x0042, sender).Unicode(0x0065, "sender@example.org").Unicode(0x0064, "SMTP");
  m.Time(0x0039, FileTime(rng)).Time(0x0E06, FileTime(rng)).Int32(0x0E07, 1).Int32(0x0017, 1);

  const std::string text = Body(rng, language, rng.Sized(200, std::max<uint64_t>(profile.max_body, 201)));
  const uint64_t kind = rng.Below(10);
  SetString(m, 0x1000, text, ansi, language.code_page);
  if (kind >= 5 && kind < 8) {
    const std::string html = "<html><head><meta charset=\"utf-8\"></head><body><p>" + text + "</p></body></html>";
    m.Binary(0x1013, std::vector<uint8_t>(html.begin(), html.end())).Int32(0x1016, 3);
  } else if (kind >= 8) {
    m.Binary(0x1009, RtfBody(text)).Int32(0x1016, 2).Bool(0x0E1F, true);
  } else {
    m.Int32(0x1016, 1);
  }
  m.Int32(0x8000, 0).Unicode(0x8001, "baleport-mailbox");  // named: see the file's name map

  const uint64_t recipients = profile.small_messages ? 1 : 1 + rng.Below(6);
  for (uint64_t i = 0; i < recipients; ++i) {
    FixtureObject r;
    const std::string name = rng.Pick(kPeople);
    r.Int32(0x0C15, i == 0 ? 1 : static_cast<int32_t>(1 + rng.Below(3))).Int32(0x0FFE, 6).Int32(0x3900, 0);
    SetString(r, 0x3001, name, false, language.code_page);
    r.Unicode(0x3002, "SMTP").Unicode(0x3003, "user" + std::to_string(rng.Below(1000)) + "@example.org");
    m.recipients.push_back(std::move(r));
  }
  if (!profile.small_messages && rng.Chance(40)) {
    const uint64_t attachments = 1 + rng.Below(5);
    for (uint64_t i = 0; i < attachments; ++i) {
      FixtureAttachment a;
      const std::string name = Words(rng, language, 1 + rng.Below(2)) + rng.Pick(kExtensions);
      std::vector<uint8_t> data;
      rng.Fill(&data, rng.Sized(1024, std::max<uint64_t>(profile.max_attachment, 1025)));
      a.Int32(0x3705, 1).Unicode(0x3707, name).Unicode(0x3001, name).Int32(0x370B, -1).Binary(0x3701, data);
      m.attachments.push_back(std::move(a));
    }
  }
  if (!profile.small_messages && depth < 2 && rng.Chance(10)) {
    FixtureAttachment a;
    std::string inner_subject;
    a.embedded = std::make_shared<FixtureMessage>(Message(rng, profile, depth + 1, &inner_subject));
    a.Int32(0x3705, 5).Unicode(0x3001, inner_subject).Int32(0x370B, -1);
    m.attachments.push_back(std::move(a));
  }
  return m;
}

std::string FileName(uint32_t number, const std::string& subject) {
  std::string name = std::to_string(number);
  name.insert(0, 6 - std::min<size_t>(6, name.size()), '0');
  std::string clean;
  for (char c : subject) clean += (c == '/' || c == '\\' || c == ':') ? '_' : c;
  if (clean.size() > 60) {
    clean.resize(60);
    while (!clean.empty() && (static_cast<unsigned char>(clean.back()) & 0xC0) == 0x80) clean.pop_back();
    if (!clean.empty() && static_cast<unsigned char>(clean.back()) >= 0xC0) clean.pop_back();
  }
  return name + " " + clean + ".msg";
}

}  // namespace

GeneratedMessage GenerateMessage(uint64_t seed, uint32_t number, const MailboxProfile& profile) {
  Rng rng(seed * 0x9E3779B97F4A7C15ULL + number);
  GeneratedMessage out;
  std::string subject;
  out.file.message = Message(rng, profile, 0, &subject);
  out.file.names.push_back({kPsetidCommon, PropertyName::Kind::kNumeric, 0x8580, {}, {}});
  out.file.names.push_back({kPsInternetHeaders, PropertyName::Kind::kString, 0, {}, "x-mailer"});
  out.file.sector_size = rng.Chance(10) && !profile.small_messages ? 4096 : 512;
  const std::string folder = profile.small_tree ? kSmallFolders[number % 3] : rng.Pick(kFolders);
  out.relative_path = folder + "/" + FileName(number, subject);
  return out;
}

}  // namespace baleport::bench
