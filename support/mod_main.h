// List helpers of the conversion run: sort texts and drop repeats, in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace baleport {

// A text list indexed from 0 to its upper bound (size() - 1).
using TextList = std::vector<std::string>;

// Sorts list[low..high] into ascending binary UTF-16 order, in place. An index outside
// the list throws std::out_of_range; entries already exchanged stay exchanged.
void SortStrings(TextList& list, int32_t low, int32_t high);

// On a sorted list: drops empty entries and repeats, keeping order. A list whose
// entries are all empty keeps its length. An empty list throws std::out_of_range.
void RemoveDuplicateStrings(TextList& list);

}  // namespace baleport
