#include "support/mod_main.h"

#include <stdexcept>
#include <utility>

#include "support/pending_events.h"
#include "support/utf16_order.h"

namespace baleport {
namespace {

// (low + high) / 2 rounded to nearest, halves to the even neighbour.
int32_t Middle(int32_t low, int32_t high) {
  const int64_t sum = int64_t{low} + high;
  int64_t mid = sum / 2;  // both indexes are >= 0 here, so this floors
  if (sum % 2 != 0 && mid % 2 != 0) ++mid;
  return static_cast<int32_t>(mid);
}

const std::string& At(const TextList& list, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size())
    throw std::out_of_range("text list index " + std::to_string(index) + " is outside 0.." +
                            std::to_string(static_cast<int64_t>(list.size()) - 1));
  return list[static_cast<size_t>(index)];
}

}  // namespace

void SortStrings(TextList& list, int32_t low, int32_t high) {
  // Hoare partition; the smaller side recurses and the larger one loops, so the
  // depth stays logarithmic whatever the input.
  while (true) {
    int32_t i = low, j = high;
    const std::string pivot = At(list, Middle(low, high));
    At(list, low);
    At(list, high);
    do {
      ProcessPendingEvents();
      while (Utf16Less(list[i], pivot) && i < high) {
        ProcessPendingEvents();
        ++i;
      }
      while (Utf16Less(pivot, list[j]) && j > low) {
        ProcessPendingEvents();
        --j;
      }
      if (i > j) break;
      ProcessPendingEvents();
      std::swap(list[i], list[j]);
      ++i;
      --j;
    } while (i <= j);
    ProcessPendingEvents();

    const bool left = low < j, right = i < high;
    if (left && right) {
      if (j - low < high - i) {
        SortStrings(list, low, j);
        low = i;
      } else {
        SortStrings(list, i, high);
        high = j;
      }
    } else if (left) {
      high = j;
    } else if (right) {
      low = i;
    } else {
      return;
    }
  }
}

void RemoveDuplicateStrings(TextList& list) {
  if (list.empty()) throw std::out_of_range("text list has no entries");
  const size_t n = list.size() - 1;  // upper bound
  ProcessPendingEvents();

  size_t gap = 1;
  for (size_t j = 0;;) {
    ProcessPendingEvents();
    if (j + gap > n) break;
    ProcessPendingEvents();
    if (list[j].empty()) {
      ++j;
      continue;
    }
    if (list[j + gap] == list[j]) {
      ProcessPendingEvents();
      list[j + gap].clear();
      ++gap;  // same j again, one further on
    } else {
      gap = 1;
      ++j;
    }
  }

  ProcessPendingEvents();
  size_t kept = 0;
  for (size_t l = 0; l <= n; ++l) {
    ProcessPendingEvents();
    if (!list[l].empty()) {
      ProcessPendingEvents();
      if (kept != l) list[kept] = std::move(list[l]);
      ++kept;
    }
  }
  ProcessPendingEvents();
  // A list with nothing kept keeps its length, all entries empty.
  if (kept > 0) list.resize(kept);
}

}  // namespace baleport
