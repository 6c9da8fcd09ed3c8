#include "sim/services/window/window_service.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace nk::sim {
namespace {

// The host-facing records, at their byte offsets.
constexpr size_t kInfoSize = 112;
constexpr size_t kInfoFlags = 36, kInfoX = 40, kInfoY = 44;
constexpr uint32_t kInfoCloseRequested = 1u << 0;
constexpr uint32_t kInfoFocused = 1u << 1;

constexpr size_t kPointerSize = 32;
constexpr uint32_t kPointerAbsolute = 1u << 0;
constexpr uint32_t kPointerRelative = 1u << 1;

constexpr size_t kDisplaySize = 52;
// There is no framebuffer a program could write to; the address word only has to be set.
constexpr uint64_t kDisplayFrameToken = 0xFB000000;

void put32(uint8_t* record, size_t offset, uint32_t value) {
  std::memcpy(record + offset, &value, 4);
}

int32_t saturate(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

}  // namespace

HostWindow* WindowService::find(uint32_t id, const char* entry) {
  for (auto& w : windows_)
    if (w->id == id) return w.get();
  fprintf(stderr, "nkhost: %s: no window with handle %u\n", entry, id);
  return nullptr;
}

const HostWindow* WindowService::window(uint32_t id) const {
  for (auto& w : windows_)
    if (w->id == id) return w.get();
  return nullptr;
}

HostWindow* WindowService::latest_mutable() {
  return windows_.empty() ? nullptr : windows_.back().get();
}

const HostWindow* WindowService::latest() const {
  return windows_.empty() ? nullptr : windows_.back().get();
}

std::vector<const HostWindow*> WindowService::windows() const {
  std::vector<const HostWindow*> live;
  for (auto& w : windows_) live.push_back(w.get());
  return live;
}

uint32_t WindowService::create(const char* title, int32_t width, int32_t height) {
  if (width < 1 || height < 1) {
    fprintf(stderr, "nkhost: window_create: size %dx%d is not a window size\n", width, height);
    return 0;
  }
  auto w = std::make_unique<HostWindow>();
  w->id = next_id_++;
  w->title = title ? title : "";
  w->width = width;
  w->height = height;
  windows_.push_back(std::move(w));
  if (backend_) backend_->on_create(*windows_.back());
  return windows_.back()->id;
}

uint32_t WindowService::publish(uint32_t id, const char* title, const uint8_t* pixels,
                                int32_t width, int32_t height, int32_t stride,
                                uint32_t background) {
  if (failing_publications_ > 0) {
    --failing_publications_;
    return 0;
  }
  HostWindow* w = find(id, "window_publish");
  if (!w) return 0;
  if (width < 1 || height < 1 || (pixels && int64_t{stride} < int64_t{width} * 4)) {
    fprintf(stderr,
            "nkhost: window_publish: window %u: size %dx%d with stride %d describes no frame\n",
            id, width, height, stride);
    return 0;
  }
  w->title = title ? title : "";
  w->width = width;
  w->height = height;
  w->background = background & 0xFFFFFF;
  size_t row = size_t(width) * 4;
  if (pixels) {
    // Same size as the last frame, as is usual: overwritten in place, nothing zeroed.
    w->pixels.resize(row * size_t(height));
    for (int32_t r = 0; r < height; ++r)
      std::memcpy(w->pixels.data() + row * r, pixels + size_t(stride) * r, row);
  } else {
    w->pixels.clear();
  }
  ++w->publications;
  if (backend_) backend_->on_publish(*w);
  Publication publication{*w, pixels ? w->pixels.data() : nullptr, width, height, w->background};
  for (auto& observer : publish_observers_) observer(publication);
  return 1;
}

int32_t WindowService::query(uint32_t id, void* info) {
  HostWindow* w = find(id, "window_query");
  if (!w || !info) return 0;
  uint8_t record[kInfoSize] = {};
  put32(record, kInfoFlags,
        (w->close_requested ? kInfoCloseRequested : 0) | (w->focused ? kInfoFocused : 0));
  put32(record, kInfoX, uint32_t(w->x));
  put32(record, kInfoY, uint32_t(w->y));
  std::memcpy(info, record, kInfoSize);
  return 1;
}

void WindowService::close(uint32_t id, int32_t, int32_t, uint32_t, uint32_t) {
  HostWindow* w = find(id, "window_close");
  if (!w) return;
  w->closed = true;
  if (backend_) backend_->on_close(*w);
}

void WindowService::destroy(uint32_t id) {
  HostWindow* w = find(id, "window_destroy");
  if (!w) return;
  if (backend_) backend_->on_destroy(*w);
  std::erase_if(windows_, [w](const auto& p) { return p.get() == w; });
}

int32_t WindowService::pointer_poll(void* state) {
  if (!state) return 0;
  uint8_t record[kPointerSize] = {};
  uint32_t flags = 0;
  if (pointer_.absolute) flags |= kPointerAbsolute;
  if (pointer_.dx != 0 || pointer_.dy != 0) flags |= kPointerRelative;
  put32(record, 0, flags);
  put32(record, 4, pointer_.buttons);
  put32(record, 8, uint32_t(pointer_.x));
  put32(record, 12, uint32_t(pointer_.y));
  put32(record, 16, uint32_t(saturate(pointer_.dx)));
  put32(record, 20, uint32_t(saturate(pointer_.dy)));
  put32(record, 24, pointer_.range_x);
  put32(record, 28, pointer_.range_y);
  std::memcpy(state, record, kPointerSize);
  pointer_.dx = pointer_.dy = 0;
  return 1;
}

int32_t WindowService::display_info(void* info) {
  if (!info) return 0;
  uint8_t record[kDisplaySize] = {};
  std::memcpy(record, &kDisplayFrameToken, 8);
  put32(record, 8, 1);
  put32(record, 12, display_width_ * 4);
  put32(record, 16, display_width_);
  put32(record, 20, display_height_);
  put32(record, 24, 32);
  // Red, green and blue channels: bits per channel, then the shift.
  put32(record, 28, 8);
  put32(record, 32, 16);
  put32(record, 36, 8);
  put32(record, 40, 8);
  put32(record, 44, 8);
  put32(record, 48, 0);
  std::memcpy(info, record, kDisplaySize);
  return 1;
}

uint32_t WindowService::key_poll() {
  if (keys_.empty()) return 0;
  uint32_t event = keys_.front();
  keys_.pop_front();
  return event;
}

void WindowService::frame_end() {
  ++frames_;
  for (auto& observer : frame_observers_) observer(frames_);
}

void WindowService::queue_key(uint8_t ch, uint8_t code) {
  if (ch != 0 || code != 0) keys_.push_back(uint32_t{ch} | uint32_t{code} << 8);
}

void WindowService::pointer_abs(int32_t x, int32_t y, uint32_t range_x, uint32_t range_y) {
  pointer_.absolute = true;
  pointer_.x = x;
  pointer_.y = y;
  pointer_.range_x = range_x;
  pointer_.range_y = range_y;
}

void WindowService::pointer_rel(int32_t dx, int32_t dy) {
  // The absolute position is stale once the pointer moved by an unknown mapping.
  pointer_.absolute = false;
  pointer_.dx += dx;
  pointer_.dy += dy;
}

void WindowService::set_buttons(uint32_t mask) { pointer_.buttons = mask; }

bool WindowService::request_close() {
  HostWindow* w = latest_mutable();
  if (w) w->close_requested = true;
  return w != nullptr;
}

bool WindowService::set_focus(bool focused) {
  HostWindow* w = latest_mutable();
  if (w) w->focused = focused;
  return w != nullptr;
}

bool WindowService::move(int32_t x, int32_t y) {
  HostWindow* w = latest_mutable();
  if (w) {
    w->x = x;
    w->y = y;
  }
  return w != nullptr;
}

void WindowService::set_display(uint32_t width, uint32_t height) {
  display_width_ = width;
  display_height_ = height;
}

void WindowService::add_publish_observer(std::function<void(const Publication&)> observer) {
  publish_observers_.push_back(std::move(observer));
}

void WindowService::add_frame_observer(std::function<void(uint64_t)> observer) {
  frame_observers_.push_back(std::move(observer));
}

void WindowService::set_backend(std::unique_ptr<WindowBackend> backend) {
  backend_ = std::move(backend);
}

}  // namespace nk::sim
