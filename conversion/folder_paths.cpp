#include "conversion/folder_paths.h"

#include "support/path_separator.h"

namespace baleport {

std::string TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

FolderPieces RelativePieces(const std::string& path, const std::string& root) {
  const std::string_view relative =
      path.starts_with(root) ? std::string_view(path).substr(root.size()) : std::string_view(path);
  FolderPieces pieces;
  for (size_t at = 0;;) {
    const size_t next = relative.find(kPathSeparator, at);
    pieces.emplace_back(relative.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
    if (next == std::string_view::npos) return pieces;
    at = next + 1;
  }
}

std::string JoinPieces(const FolderPieces& pieces) {
  std::string text;
  for (size_t i = 0; i < pieces.size(); ++i) text += (i == 0 ? "" : "\\") + pieces[i];
  return text;
}

FolderPieces MapDefaultFolders(FolderPieces relative, const std::string& inboxName, const std::string& sentName) {
  const size_t first = relative.size() > 1 && relative.front().empty() ? 1 : 0;
  if (relative.empty()) return relative;
  std::string& name = relative[first];
  if (name == "Inbox") {
    name = inboxName;
  } else if (name == "Sent") {
    name = sentName;
  }
  return relative;
}

}  // namespace baleport
