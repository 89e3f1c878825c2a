// A GsfInput that reads through baleport::File, so that the compound-file library sees the
// file without it ever being loaded whole.
#pragma once

#include <gsf/gsf-input.h>

#include <memory>

#include "support/env.h"

namespace baleport::msg {

// The new input holds a reference to the file; its duplicates (libgsf makes one per open
// stream) share it. Returns a new reference; the caller unrefs it.
GsfInput* NewFileInput(std::shared_ptr<File> file, uint64_t size);

}  // namespace baleport::msg
