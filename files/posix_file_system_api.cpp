#include "files/posix_file_system_api.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/utf16_text.h"
#include "files/wildcard.h"

namespace baleport {
namespace {

// Windows system error codes.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorCantResolveFilename = 1921;

// ENOENT is told apart by the caller (file or path not found).
uint32_t WindowsError(int err) {
  switch (err) {
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES: case EPERM: case EISDIR: return kErrorAccessDenied;
    case EBUSY: case ETXTBSY: return kErrorSharingViolation;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case EINVAL: case EILSEQ: return kErrorInvalidName;
    case EMFILE: case ENFILE: return kErrorTooManyOpenFiles;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EROFS: return kErrorWriteProtect;
    case ENOSPC: return kErrorDiskFull;
    case EEXIST: return kErrorFileExists;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ELOOP: return kErrorCantResolveFilename;
    case EIO: return kErrorIoDevice;
    default: return kErrorGenFailure;
  }
}

// The UTF-8 path of a long-path buffer, its "\\?\" or "\\?\UNC\" prefix taken off.
std::string PathOf(const WideBuffer& buffer) {
  std::u16string units(buffer.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(std::to_integer<unsigned>(buffer[2 * i]) |
                                     (std::to_integer<unsigned>(buffer[2 * i + 1]) << 8));
  }
  if (const size_t nul = units.find(u'\0'); nul != std::u16string::npos) units.resize(nul);
  std::string path = Utf16ToUtf8(units);
  if (path.starts_with("\\\\?\\UNC\\")) return "\\\\" + path.substr(8);
  if (path.starts_with("\\\\?\\")) return path.substr(4);
  return path;
}

#ifdef O_PATH
constexpr int kOpenFolderForLookup = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kOpenFolderForLookup = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// A path as a folder descriptor and a remainder short enough for the *at() calls.
// Paths beyond PATH_MAX are opened one stretch of folders at a time.
class PathAt {
 public:
  explicit PathAt(const std::string& path) : rest_(path) {
    constexpr size_t kShortEnough = 3072;
    while (rest_.size() >= kShortEnough) {
      const size_t cut = rest_.rfind('/', kShortEnough);
      if (cut == std::string::npos) {
        error_ = ENAMETOOLONG;
        return;
      }
      const std::string stretch = cut == 0 ? "/" : rest_.substr(0, cut);
      const int next = openat(dir_, stretch.c_str(), kOpenFolderForLookup);
      if (next < 0) {
        error_ = errno;
        return;
      }
      if (dir_ >= 0) close(dir_);
      dir_ = next;
      rest_.erase(0, cut + 1);
    }
  }
  ~PathAt() {
    if (dir_ >= 0) close(dir_);
  }
  PathAt(const PathAt&) = delete;
  PathAt& operator=(const PathAt&) = delete;

  // 0, or the errno of the folder that could not be opened on the way.
  int error() const { return error_; }
  int dir() const { return dir_; }
  const char* rest() const { return rest_.c_str(); }
  const std::string& rest_text() const { return rest_; }

 private:
  int dir_ = AT_FDCWD;
  std::string rest_;
  int error_ = 0;
};

// The last component of a path, trailing separators ignored.
std::string_view LeafName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

uint32_t AttributeWord(const struct stat& target, bool link, std::string_view name) {
  uint32_t word = 0;
  if (S_ISDIR(target.st_mode)) word |= 0x10;
  if ((target.st_mode & S_IWUSR) == 0) word |= 0x01;
  if (name.starts_with('.') && name != "." && name != "..") word |= 0x02;
  if (link) word |= 0x400;
  return word == 0 ? 0x80 : word;
}

// lstat, then stat through a link; a dangling link answers for itself. errno on failure.
bool StatAt(int dir, const char* path, std::string_view name, uint32_t& word) {
  struct stat st;
  if (fstatat(dir, path, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  const bool link = S_ISLNK(st.st_mode);
  if (link) {
    struct stat target;
    if (fstatat(dir, path, &target, 0) == 0) st = target;
  }
  word = AttributeWord(st, link, name);
  return true;
}

// For ENOENT: "file not found" when the folder part exists, else "path not found".
uint32_t MissingCode(const PathAt& at) {
  std::string_view rest = at.rest_text();
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  const size_t slash = rest.rfind('/');
  const std::string parent = slash == std::string_view::npos ? "." : slash == 0 ? "/" : std::string(rest.substr(0, slash));
  struct stat st;
  return fstatat(at.dir(), parent.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode) ? kErrorFileNotFound
                                                                              : kErrorPathNotFound;
}

uint32_t ErrorAt(const PathAt& at, int err) { return err == ENOENT ? MissingCode(at) : WindowsError(err); }

// The name into a find-data name field, cut to fit and ended by a NUL.
template <typename Array, typename Text>
void CopyName(Array& field, const Text& name) {
  const size_t n = std::min(name.size(), field.size() - 1);
  std::copy_n(name.begin(), n, field.begin());
  field[n] = 0;
}

void FillVersion(uint32_t& major, uint32_t& minor, uint32_t& build, uint32_t& platform) {
  struct utsname names;
  major = minor = build = 0;
  if (uname(&names) == 0) std::sscanf(names.release, "%u.%u.%u", &major, &minor, &build);
  platform = 2;  // answers as the NT family: the wide forms take paths of any length
}

}  // namespace

FileSystemApi& PlatformFileSystemApi() {
  static PosixFileSystemApi api;
  return api;
}

bool PosixFileSystemApi::Fail(uint32_t code) {
  last_error_ = code;
  return false;
}

ModuleHandle PosixFileSystemApi::LoadLibraryA(const char* name) {
  last_error_ = 0;
  return std::strcmp(name, "kernel32") == 0 ? this : nullptr;
}

void* PosixFileSystemApi::GetProcAddress(ModuleHandle module, const char* name) {
  last_error_ = 0;
  const bool known = std::strcmp(name, "GetVersionExA") == 0 || std::strcmp(name, "GetVersionExW") == 0;
  return module == this && known ? this : nullptr;
}

bool PosixFileSystemApi::FreeLibrary(ModuleHandle module) { return module == this || Fail(kErrorInvalidHandle); }

bool PosixFileSystemApi::GetVersionExW(OsVersionRecordW& record) {
  if (record.size != sizeof record) return Fail(kErrorInvalidParameter);
  FillVersion(record.major, record.minor, record.build, record.platformId);
  return true;
}

bool PosixFileSystemApi::GetVersionExA(OsVersionRecordA& record) {
  if (record.size != sizeof record) return Fail(kErrorInvalidParameter);
  FillVersion(record.major, record.minor, record.build, record.platformId);
  return true;
}

uint32_t PosixFileSystemApi::GetVersion() {
  uint32_t major, minor, build, platform;
  FillVersion(major, minor, build, platform);
  return (major & 0xFF) | ((minor & 0xFF) << 8) | ((build & 0x7FFF) << 16);
}

uint32_t PosixFileSystemApi::Attributes(const std::string& path) {
  PathAt at(path);
  uint32_t word;
  const int err = at.error() != 0 ? at.error() : StatAt(at.dir(), at.rest(), LeafName(path), word) ? 0 : errno;
  if (err != 0) {
    Fail(ErrorAt(at, err));
    return kInvalidFileAttributes;
  }
  last_error_ = 0;
  return word;
}

uint32_t PosixFileSystemApi::GetFileAttributesW(const WideBuffer& path) {
  Settle();
  return Attributes(PathOf(path));
}
uint32_t PosixFileSystemApi::GetFileAttributesA(const std::string& path) {
  Settle();
  return Attributes(path);
}

bool PosixFileSystemApi::SetAttributes(const std::string& path, uint32_t attributes) {
  Settle();
  PathAt at(path);
  if (at.error() != 0) return Fail(ErrorAt(at, at.error()));
  struct stat st;
  if (fstatat(at.dir(), at.rest(), &st, 0) != 0) return Fail(ErrorAt(at, errno));
  // Only the read-only bit has a POSIX counterpart: the write bits.
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & 0x01) ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
  if (mode != (st.st_mode & 07777) && fchmodat(at.dir(), at.rest(), mode, 0) != 0) return Fail(ErrorAt(at, errno));
  last_error_ = 0;
  return true;
}

bool PosixFileSystemApi::SetFileAttributesW(const WideBuffer& path, uint32_t attributes) {
  return SetAttributes(PathOf(path), attributes);
}
bool PosixFileSystemApi::SetFileAttributesA(const std::string& path, uint32_t attributes) {
  return SetAttributes(path, attributes);
}

bool PosixFileSystemApi::Delete(const std::string& path) {
  Settle();
  PathAt at(path);
  if (at.error() != 0) return Fail(ErrorAt(at, at.error()));
  if (unlinkat(at.dir(), at.rest(), 0) != 0) return Fail(ErrorAt(at, errno));
  last_error_ = 0;
  return true;
}

bool PosixFileSystemApi::DeleteFileW(const WideBuffer& path) { return Delete(PathOf(path)); }
bool PosixFileSystemApi::DeleteFileA(const std::string& path) { return Delete(path); }

std::shared_ptr<const PosixFileSystemApi::Listing> PosixFileSystemApi::Read(const std::string& prefix) {
  const std::string folder =
      prefix.empty() ? "." : prefix.size() == 1 ? prefix : prefix.substr(0, prefix.size() - 1);
  PathAt at(folder);
  if (at.error() != 0) {
    Fail(at.error() == ENOENT ? kErrorPathNotFound : WindowsError(at.error()));
    return nullptr;
  }
  const int fd = openat(at.dir(), at.rest(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno == ENOENT ? kErrorPathNotFound : WindowsError(errno));
    return nullptr;
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    const int err = errno;
    close(fd);
    Fail(WindowsError(err));
    return nullptr;
  }
  // A drive root lists no "." and "..".
  const bool root = folder.find_first_not_of('/') == std::string::npos;
  auto listing = std::make_shared<Listing>(Listing{prefix, {}, true, std::chrono::steady_clock::now()});
  std::vector<Entry>& entries = listing->entries;
  size_t dots = 0;
  for (;;) {
    // Only readdir's own errno tells a failed reading from the end: StatAt leaves ENOENT
    // behind for a dangling link or an entry removed since.
    errno = 0;
    const dirent* d = readdir(dir);
    if (d == nullptr) break;
    const std::string_view name = d->d_name;
    const bool dot_entry = name == "." || name == "..";
    if (dot_entry && root) continue;
    uint32_t word;
    if (!StatAt(dirfd(dir), d->d_name, name, word)) continue;  // removed since readdir
    entries.push_back({std::string(name), Utf8ToUtf16(name), word});
    if (dot_entry) std::swap(entries[dots++], entries.back());
  }
  const int read_error = errno;
  closedir(dir);
  if (read_error != 0) {
    Fail(WindowsError(read_error));
    return nullptr;
  }
  std::sort(entries.begin(), entries.begin() + dots, [](const Entry& a, const Entry& b) { return a.name < b.name; });
  SortByName(entries.begin() + dots, entries.end(), [](const Entry& e) -> std::u16string_view { return e.units; });
  return listing;
}

void PosixFileSystemApi::Settle() { just_closed_.reset(); }

const PosixFileSystemApi::Entry* PosixFileSystemApi::Start(const std::string& spec, FindHandle& handle) {
  const std::shared_ptr<const Listing> reusable = just_closed_;
  Settle();
  const size_t slash = spec.rfind('/');
  const std::string prefix = slash == std::string::npos ? "" : spec.substr(0, slash + 1);
  const std::string pattern = spec.substr(prefix.size());
  if (pattern.empty()) {
    Fail(kErrorFileNotFound);
    return nullptr;
  }

  std::shared_ptr<const Listing> listing;
  bool reused = false;
  if (!HasWildcards(pattern)) {
    const uint32_t word = Attributes(spec);
    if (word == kInvalidFileAttributes) return nullptr;
    listing = std::make_shared<Listing>(
        Listing{prefix, {{pattern, Utf8ToUtf16(pattern), word}}, false, std::chrono::steady_clock::now()});
  } else if (reusable && reusable->prefix == prefix && reusable->Fresh()) {
    listing = reusable;
    reused = true;
  } else {
    listing = Read(prefix);
    if (!listing) return nullptr;
  }
  Enumeration enumeration{listing, {}, 0, reused};
  for (size_t i = 0; i < listing->entries.size(); ++i) {
    if (!listing->wholeFolder || MatchesWildcard(pattern, listing->entries[i].name)) enumeration.matches.push_back(i);
  }
  if (enumeration.matches.empty()) {
    Fail(kErrorFileNotFound);
    return nullptr;
  }
  handle = next_handle_++;
  enumerations_.emplace(handle, std::move(enumeration));
  return Next(handle);
}

const PosixFileSystemApi::Entry* PosixFileSystemApi::Next(FindHandle handle) {
  Settle();
  const auto it = enumerations_.find(handle);
  if (it == enumerations_.end() || it->second.next == it->second.matches.size()) {
    Fail(it == enumerations_.end() ? kErrorInvalidHandle : kErrorNoMoreFiles);
    return nullptr;
  }
  Enumeration& e = it->second;
  last_error_ = 0;
  return &e.listing->entries[e.matches[e.next++]];
}

FindHandle PosixFileSystemApi::FindFirstFileW(const WideBuffer& spec, FindDataW& data) {
  FindHandle handle;
  const Entry* first = Start(PathOf(spec), handle);
  if (first == nullptr) return kInvalidFindHandle;
  data.fileAttributes = first->attributes;
  CopyName(data.fileName, first->units);
  return handle;
}

FindHandle PosixFileSystemApi::FindFirstFileA(const std::string& spec, FindDataA& data) {
  FindHandle handle;
  const Entry* first = Start(spec, handle);
  if (first == nullptr) return kInvalidFindHandle;
  data.fileAttributes = first->attributes;
  CopyName(data.fileName, first->name);
  return handle;
}

bool PosixFileSystemApi::FindNextFileW(FindHandle handle, FindDataW& data) {
  const Entry* entry = Next(handle);
  if (entry == nullptr) return false;
  data.fileAttributes = entry->attributes;
  CopyName(data.fileName, entry->units);
  return true;
}

bool PosixFileSystemApi::FindNextFileA(FindHandle handle, FindDataA& data) {
  const Entry* entry = Next(handle);
  if (entry == nullptr) return false;
  data.fileAttributes = entry->attributes;
  CopyName(data.fileName, entry->name);
  return true;
}

bool PosixFileSystemApi::FindClose(FindHandle handle) {
  Settle();
  const auto it = enumerations_.find(handle);
  if (it == enumerations_.end()) return Fail(kErrorInvalidHandle);
  const Listing& listing = *it->second.listing;
  if (listing.wholeFolder && !it->second.reused && listing.Fresh()) just_closed_ = it->second.listing;
  enumerations_.erase(it);
  last_error_ = 0;
  return true;
}

std::optional<FolderIdentity> PosixFileSystemApi::IdentifyFolder(const WideBuffer& path) {
  Settle();
  const PathAt at(PathOf(path));
  struct stat st;
  if (at.error() != 0 || fstatat(at.dir(), at.rest(), &st, 0) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::string PosixFileSystemApi::ErrorMessage(uint32_t code) {
  switch (code) {
    case kErrorFileNotFound: return "The system cannot find the file specified.";
    case kErrorPathNotFound: return "The system cannot find the path specified.";
    case kErrorTooManyOpenFiles: return "The system cannot open the file.";
    case kErrorAccessDenied: return "Access is denied.";
    case kErrorInvalidHandle: return "The handle is invalid.";
    case kErrorNotEnoughMemory: return "Not enough memory resources are available to process this command.";
    case kErrorNoMoreFiles: return "There are no more files.";
    case kErrorWriteProtect: return "The media is write protected.";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case kErrorInvalidParameter: return "The parameter is incorrect.";
    case kErrorFileExists: return "The file exists.";
    case kErrorDiskFull: return "There is not enough space on the disk.";
    case kErrorInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
    case kErrorDirNotEmpty: return "The directory is not empty.";
    case kErrorFilenameTooLong: return "The filename or extension is too long.";
    case kErrorIoDevice: return "The request could not be performed because of an I/O device error.";
    case kErrorCantResolveFilename: return "The name of the file cannot be resolved by the system.";
    case kErrorGenFailure: return "A device attached to the system is not functioning.";
    default: return "";
  }
}

}  // namespace baleport
