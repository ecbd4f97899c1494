// The console handle: the factory of back ends and its fall-back order, mode names, the key queue
// and the error box.
#include "display/console.h"

#include <functional>

#include "display/console_base.h"
#include "platform/platform.h"

namespace display {
namespace {

bool same_name(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// The first back end that is ok and opens, or null.
ConsoleImpl* open_first(const char* backend, const std::function<bool(ConsoleImpl&)>& open) {
  BackendList list = console_backends();
  for (const BackendEntry* entry = list.entries; entry != list.entries + list.count; ++entry) {
    if (backend ? !same_name(entry->name, backend) : !entry->chosen()) continue;
    ConsoleImpl* impl = entry->create();
    if (impl->ok() && open(*impl)) return impl;
    impl->release();
  }
  return nullptr;
}

struct ModeName {
  const char* name;
  int32_t code;
};

const ModeName mode_names[] = {
    {"DIRECT", DIRECT},   {"INDEXED", INDEXED},   {"FAKEMODE", FAKEMODE},
    {"FUZZY8", FUZZY8},   {"VIRTUAL8", FUZZY8},   {"FUZZY16", FUZZY16},
    {"VIRTUAL16", FUZZY16}, {"FUZZY32", FUZZY32}, {"VIRTUAL32", FUZZY32},
};

}  // namespace

// ---- Key queue ----------------------------------------------------------------------------------

void KeyQueue::push(int32_t code) {
  std::lock_guard<std::mutex> guard(lock_);
  codes_.push_back(code);
}

bool KeyQueue::empty() const {
  std::lock_guard<std::mutex> guard(lock_);
  return codes_.empty();
}

bool KeyQueue::pop(int32_t& code) {
  std::lock_guard<std::mutex> guard(lock_);
  if (codes_.empty()) return false;
  code = codes_.front();
  codes_.pop_front();
  return true;
}

// ---- Console ------------------------------------------------------------------------------------

ConsoleImpl& null_console() {
  static InertConsole inert;
  return inert;
}

Console::~Console() { close(); }

void Console::close() {
  if (impl_ != &null_console()) impl_->release();
  impl_ = &null_console();
}

bool Console::open_with(const char* backend, const std::function<bool(ConsoleImpl&)>& open) {
  close();
  if (ConsoleImpl* impl = open_first(backend, open)) impl_ = impl;
  return impl_ != &null_console();
}

bool Console::open(int32_t width, int32_t height, int32_t mode, int32_t output, int32_t frequency,
                   int32_t layout) {
  return open(nullptr, width, height, mode, output, frequency, layout);
}

bool Console::open(const char* backend, int32_t width, int32_t height, int32_t mode, int32_t output,
                   int32_t frequency, int32_t layout) {
  return open_with(backend, [&](ConsoleImpl& impl) {
    return impl.open_mode(width, height, mode, output, frequency, layout);
  });
}

bool Console::open(int32_t width, int32_t height, const Format& format, int32_t output,
                   int32_t frequency, int32_t layout) {
  return open_with(nullptr, [&](ConsoleImpl& impl) {
    return impl.open_format(width, height, format, output, frequency, layout);
  });
}

bool Console::open(int32_t width, int32_t height, const char* mode, int32_t output, int32_t frequency,
                   int32_t layout) {
  return open(nullptr, width, height, mode, output, frequency, layout);
}

bool Console::open(const char* backend, int32_t width, int32_t height, const char* mode,
                   int32_t output, int32_t frequency, int32_t layout) {
  if (!mode) return false;
  for (const ModeName& entry : mode_names)
    if (same_name(entry.name, mode)) return open(backend, width, height, entry.code, output, frequency, layout);
  Format format(mode);
  return open_with(backend, [&](ConsoleImpl& impl) {
    return impl.open_format(width, height, format, output, frequency, layout);
  });
}

bool Console::ok() const { return impl_->ok(); }

void Console::error(const char* text) {
  close();
  platform::message_box(text, "display error");
}

bool Console::title(const char* text) { return impl_->set_title(text ? text : ""); }
bool Console::key() { return impl_->key(); }
int32_t Console::read() { return impl_->read(); }
const char* Console::name() const { return impl_->name(); }
Surface* Console::primary() { return impl_->primary(); }
int32_t Console::width() const { return impl_->width(); }
int32_t Console::height() const { return impl_->height(); }
void* Console::window() const { return impl_->window(); }

}  // namespace display
