// Compares a store's nodes with those of Outlook-made stores: what every one of them has
// (fixed nodes, NID types, message-store properties, table templates and the tables made
// from them, the root's rows, the receive folder), so that readers that rely on Outlook's
// way find it in ours.
#pragma once

#include <string>
#include <vector>

namespace baleport::pst::testing {

// The Unicode Outlook-made stores under `samples_dir`/pst that the engine opens; empty when
// the folder is absent.
std::vector<std::string> OutlookSamples(const std::string& samples_dir);

// One line per way the store at `path` departs from what all `samples` have in common, or
// breaks the rules of Outlook's heaps (heap_layout.h) in any node or subnode; no block of the
// file may be empty either.
std::vector<std::string> LayoutFaults(const std::string& path, const std::vector<std::string>& samples);

}  // namespace baleport::pst::testing
