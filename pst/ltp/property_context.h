// Property context (§2.3.3): a node's property bag, a BTH of property records on its heap.
#pragma once

#include <string>
#include <vector>

#include "pst/ltp/heap.h"
#include "pst/ltp/property_value.h"

namespace baleport::pst::ltp {

// Decodes a PC heap; values kept in subnodes are fetched through `subnodes`.
Result<PropertyMap> ReadPropertyContext(const Heap& heap, const SubnodeSource& subnodes);

// Lays out a PC; values over kMaxHeapValue bytes go to `big`.
Result<std::vector<std::string>> BuildPropertyContext(const PropertyMap& props, const BigValueSink& big);

}  // namespace baleport::pst::ltp
