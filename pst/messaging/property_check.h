// Checks a property given to the store and brings it to the form the store holds.
#pragma once

#include "pst/ltp/property_value.h"
#include "pst/store.h"

namespace baleport::pst {

// 8-bit strings become UTF-16 (they are taken as UTF-8); sizes must fit the type.
Result<ltp::PropertyValue> NormalizeProperty(Property p);

}  // namespace baleport::pst
