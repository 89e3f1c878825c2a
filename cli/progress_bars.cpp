#include "cli/progress_bars.h"


#include <algorithm>

namespace baleport {
namespace {

constexpr int kMinimumBar = 10;
constexpr int kMaximumBar = 40;

size_t Columns(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;  // not a continuation byte
  }));
}

// The first `columns` code points of `text`.
std::string CutToColumns(const std::string& text, size_t columns) {
  size_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == columns) return text.substr(0, i);
  }
  return text;
}

std::string Bar(int done, int total, int width) {
  const int filled = total > 0 ? static_cast<int>(static_cast<long long>(width) * std::min(done, total) / total) : 0;
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '-') +
         "]";
}

// `head` + bar + `tail`, the bar as wide as the line allows within its bounds.
std::string Line(const std::string& head, int done, int total, const std::string& tail, int width) {
  const int rest = width - static_cast<int>(Columns(head) + Columns(tail)) - 2;  // the brackets
  // Without the bar, the space that ends `head` is the one that starts `tail`.
  if (rest < kMinimumBar) return CutToColumns(head + tail.substr(1), static_cast<size_t>(std::max(width, 0)));
  return head + Bar(done, total, std::min(rest, kMaximumBar)) + tail;
}

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  if (s < 60) return std::to_string(s) + " s";
  if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
  return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
}

}  // namespace

std::string RenderProgress(const ProgressState& state, int width) {
  const std::string folderHead = "Folder " + std::to_string(state.folder) + " of " + std::to_string(state.folders) + " ";
  std::string folderTail = " " + state.folderName;
  const int room = width - static_cast<int>(Columns(folderHead)) - kMinimumBar - 2;
  if (static_cast<int>(Columns(folderTail)) > room && room > 4) {
    folderTail = CutToColumns(folderTail, static_cast<size_t>(room - 3)) + "...";
  }
  // The folder under way counts as done once all its entries are.
  const int foldersDone = state.folder - 1 + (state.total > 0 && state.done >= state.total ? 1 : 0);

  const double rate = state.seconds > 0 ? state.done / state.seconds : 0;
  const int percent = state.total > 0 ? static_cast<int>(100LL * state.done / state.total) : 0;
  std::string messageTail = " " + std::to_string(percent) + "%  " + std::to_string(static_cast<long>(rate)) + "/s";
  if (rate > 0 && state.done < state.total) messageTail += "  " + Duration((state.total - state.done) / rate) + " left";
  const std::string messageHead =
      "Messages " + std::to_string(state.done) + " of " + std::to_string(state.total) + " ";

  return Line(folderHead, foldersDone, state.folders, folderTail, width) + "\n" +
         Line(messageHead, state.done, state.total, messageTail, width);
}

}  // namespace baleport
