#include "msg/file_input.h"

#include <gsf/gsf-input-impl.h>

#include <new>
#include <vector>

namespace baleport::msg {
namespace {

// The part of the object that needs constructors; GObject only zero-fills instances.
struct FileInputState {
  std::shared_ptr<File> file;
  // libgsf may ask for a pointer to data it does not own (optional_buffer == NULL).
  std::vector<guint8> buffer;
};

struct BaleportFileInput {
  GsfInput parent;
  FileInputState* state;
};

struct BaleportFileInputClass {
  GsfInputClass parent_class;
};

G_DEFINE_TYPE(BaleportFileInput, baleport_file_input, GSF_INPUT_TYPE)

BaleportFileInput* Cast(GsfInput* input) {
  return G_TYPE_CHECK_INSTANCE_CAST(input, baleport_file_input_get_type(), BaleportFileInput);
}

GsfInput* NewInput(std::shared_ptr<File> file, gsf_off_t size) {
  auto* self = static_cast<BaleportFileInput*>(g_object_new(baleport_file_input_get_type(), nullptr));
  self->state->file = std::move(file);
  gsf_input_set_size(GSF_INPUT(self), size);
  return GSF_INPUT(self);
}

// gsf_input_dup copies the name itself; libgsf makes a duplicate for every stream it opens.
GsfInput* FileInputDup(GsfInput* input, GError** /*err*/) {
  return NewInput(Cast(input)->state->file, gsf_input_size(input));
}

const guint8* FileInputRead(GsfInput* input, size_t num_bytes, guint8* optional_buffer) {
  FileInputState& state = *Cast(input)->state;
  guint8* dst = optional_buffer;
  if (dst == nullptr) {
    // gsf_input_read has already checked num_bytes against the declared size, which is the
    // file's size, so this buffer never exceeds one request the file can satisfy.
    if (state.buffer.size() < num_bytes) state.buffer.resize(num_bytes);
    dst = state.buffer.data();
  }
  if (!state.file->Read(static_cast<uint64_t>(input->cur_offset), dst, num_bytes).ok()) return nullptr;
  return dst;
}

// gsf_input_seek checks the bounds and keeps cur_offset; reads are positional.
gboolean FileInputSeek(GsfInput* /*input*/, gsf_off_t /*offset*/, GSeekType /*whence*/) { return FALSE; }

void FileInputFinalize(GObject* object) {
  auto* self = reinterpret_cast<BaleportFileInput*>(object);
  delete self->state;
  self->state = nullptr;
  G_OBJECT_CLASS(baleport_file_input_parent_class)->finalize(object);
}

void baleport_file_input_init(BaleportFileInput* self) { self->state = new FileInputState(); }

void baleport_file_input_class_init(BaleportFileInputClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = FileInputFinalize;
  GsfInputClass* input_class = GSF_INPUT_CLASS(klass);
  input_class->Dup = FileInputDup;
  input_class->Read = FileInputRead;
  input_class->Seek = FileInputSeek;
}

}  // namespace

GsfInput* NewFileInput(std::shared_ptr<File> file, uint64_t size) {
  GsfInput* input = NewInput(std::move(file), static_cast<gsf_off_t>(size));
  gsf_input_set_name(input, Cast(input)->state->file->path().c_str());
  return input;
}

}  // namespace baleport::msg
