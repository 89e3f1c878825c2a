#include "conversion/folder_paths.h"

#include "support/path_separator.h"

namespace baleport {

std::string TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string AsciiLowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string RelativeStoreForm(const std::string& path, const std::string& root) {
  std::string relative = path.starts_with(root) ? path.substr(root.size()) : path;
  if constexpr (kPathSeparator != '\\') {
    for (char& c : relative) {
      if (c == kPathSeparator) c = '\\';
    }
  }
  return relative;
}

std::string MapDefaultFolders(const std::string& relative, const std::string& inboxName, const std::string& sentName) {
  const size_t start = relative.starts_with('\\') ? 1 : 0;
  const size_t end = relative.find('\\', start);
  const std::string first = relative.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const std::string* mapped = first == "Inbox" ? &inboxName : first == "Sent" ? &sentName : nullptr;
  if (mapped == nullptr) return relative;
  return relative.substr(0, start) + *mapped + (end == std::string::npos ? "" : relative.substr(end));
}

std::string StoreFolderPath(const std::string& displayName, const std::string& relative) {
  return "\\\\" + displayName + (relative.starts_with('\\') ? "" : "\\") + relative;
}

}  // namespace baleport
