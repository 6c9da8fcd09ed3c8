#include "sim/services/window/sdl_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "sim/services/window/key_names.h"
#include "sim/services/window/scripted_input.h"
#include "sim/services/window/sdl_library.h"

namespace nk::sim {
namespace {

// The library places the client area this far right of and below the reported position.
constexpr int kClientLeft = 14, kClientTop = 38;

// Keys beside the typed characters, by the name input scripts give them: the character
// each sends and its PC scan code.
std::optional<KeyInput> special_key(const SDL_KeyboardEvent& key) {
  if (key.keysym.mod & KMOD_CTRL) {
    if (key.keysym.sym == SDLK_c) return KeyInput{0x03, 0};
    if (key.keysym.sym == SDLK_d) return KeyInput{0x04, 0};
  }
  static constexpr std::pair<SDL_Keycode, std::string_view> kNamed[] = {
      {SDLK_ESCAPE, "esc"},     {SDLK_RETURN, "enter"},      {SDLK_KP_ENTER, "enter"},
      {SDLK_BACKSPACE, "backspace"}, {SDLK_TAB, "tab"},     {SDLK_UP, "up"},
      {SDLK_DOWN, "down"},      {SDLK_LEFT, "left"},         {SDLK_RIGHT, "right"},
      {SDLK_HOME, "home"},      {SDLK_END, "end"},           {SDLK_PAGEUP, "pageup"},
      {SDLK_PAGEDOWN, "pagedown"}, {SDLK_INSERT, "insert"}, {SDLK_DELETE, "delete"},
      {SDLK_F1, "f1"},          {SDLK_F2, "f2"},             {SDLK_F3, "f3"},
      {SDLK_F4, "f4"},          {SDLK_F5, "f5"},             {SDLK_F6, "f6"},
      {SDLK_F7, "f7"},          {SDLK_F8, "f8"},             {SDLK_F9, "f9"},
      {SDLK_F10, "f10"},        {SDLK_F11, "f11"},           {SDLK_F12, "f12"},
  };
  for (const auto& [sym, name] : kNamed)
    if (key.keysym.sym == sym)
      if (const KeyName* named = find_key(name)) return KeyInput{named->character, named->code};
  return std::nullopt;
}

const SdlLibrary& load_sdl() {
  try {
    return sdl_library();
  } catch (const std::runtime_error& problem) {
    throw DesktopError(problem.what());
  }
}

uint32_t button_bit(uint8_t button) {
  switch (button) {
    case SDL_BUTTON_LEFT: return 1u << 0;
    case SDL_BUTTON_RIGHT: return 1u << 1;
    case SDL_BUTTON_MIDDLE: return 1u << 2;
    default: return 0;
  }
}

}  // namespace

// The input of one frame for the newest window, as SDL reported it.
struct SdlWindows::Gathered {
  std::vector<KeyInput> keys;
  std::optional<std::pair<int, int>> pointer;  // client pixels
  uint32_t pressed = 0;  // buttons that went down, held for this frame even if already up
  bool close = false;
};

std::string missing_desktop() {
  auto set = [](const char* name) {
    const char* value = getenv(name);
    return value && *value;
  };
  if (set("DISPLAY") || set("WAYLAND_DISPLAY")) return "";
  return "--window sdl needs a desktop, but neither DISPLAY nor WAYLAND_DISPLAY is set "
         "(use --window headless, or run under a desktop or Xvfb)";
}

SdlWindows::SdlWindows(WindowService& service, bool keep_display, InputRecorder* recorder)
    : sdl_(load_sdl()), service_(service), recorder_(recorder) {
  // Ctrl-C in the terminal stops nkhost as usual; the program sees Ctrl-C typed into its window.
  sdl_.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  sdl_.SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // The frame goes straight into the window (X11 shared memory), not through OpenGL, which
  // a virtual or remote display may lack.
  sdl_.SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Without a reachable desktop SDL would settle for its offscreen driver and show nothing.
  if (!getenv("SDL_VIDEODRIVER")) sdl_.SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
  if (sdl_.Init(SDL_INIT_VIDEO) != 0) {
    const char* display = getenv("DISPLAY");
    throw DesktopError(std::string("--window sdl cannot open the desktop (DISPLAY=") +
                       (display ? display : "") + "): " + sdl_.GetError());
  }
  sdl_.StartTextInput();
  if (keep_display) return;
  int right = 0, bottom = 0;
  for (int i = 0; i < sdl_.GetNumVideoDisplays(); ++i) {
    SDL_Rect bounds;
    if (sdl_.GetDisplayBounds(i, &bounds) == 0) {
      right = std::max(right, bounds.x + bounds.w);
      bottom = std::max(bottom, bounds.y + bounds.h);
    }
  }
  if (right > 0 && bottom > 0) service_.set_display(right, bottom);
}

SdlWindows::~SdlWindows() {
  for (auto& [id, shown] : shown_) sdl_.DestroyWindow(shown);
  sdl_.Quit();
}

void SdlWindows::on_create(const HostWindow& window) {
  SDL_Window* shown = sdl_.CreateWindow(window.title.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                       SDL_WINDOWPOS_UNDEFINED, window.width, window.height, 0);
  if (!shown) {
    fprintf(stderr, "nkhost: window %u stays off the desktop: %s\n", window.id, sdl_.GetError());
    return;
  }
  shown_[window.id] = shown;
}

void SdlWindows::on_publish(const HostWindow& window) {
  auto found = shown_.find(window.id);
  if (found == shown_.end()) return;
  SDL_Window* shown = found->second;
  int width, height;
  sdl_.GetWindowSize(shown, &width, &height);
  if (width != window.width || height != window.height)
    sdl_.SetWindowSize(shown, window.width, window.height);
  if (window.title != sdl_.GetWindowTitle(shown)) sdl_.SetWindowTitle(shown, window.title.c_str());
  present(shown, window);
}

void SdlWindows::present(SDL_Window* shown, const HostWindow& window) {
  SDL_Surface* surface = sdl_.GetWindowSurface(shown);
  if (!surface) return;
  uint32_t bg = window.background;
  sdl_.FillRect(surface, nullptr, sdl_.MapRGB(surface->format, bg >> 16 & 0xFF, bg >> 8 & 0xFF, bg & 0xFF));
  if (!window.pixels.empty()) {
    SDL_Surface* frame = sdl_.CreateRGBSurfaceWithFormatFrom(
        const_cast<uint8_t*>(window.pixels.data()), window.width, window.height, 32,
        window.width * 4, SDL_PIXELFORMAT_RGBA32);
    if (frame) {
      // The frame replaces what is there; its alpha is not blended with the background.
      sdl_.SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
      sdl_.BlitSurface(frame, nullptr, surface, nullptr);
      sdl_.FreeSurface(frame);
    }
  }
  sdl_.UpdateWindowSurface(shown);
}

void SdlWindows::on_close(const HostWindow& window) {
  // The program still owns the window until it destroys it, but the person is done with it.
  if (auto found = shown_.find(window.id); found != shown_.end()) sdl_.HideWindow(found->second);
}

void SdlWindows::on_destroy(const HostWindow& window) {
  if (auto found = shown_.find(window.id); found != shown_.end()) {
    sdl_.DestroyWindow(found->second);
    shown_.erase(found);
  }
}

void SdlWindows::translate(const SDL_Event& event, SDL_Window* newest, Gathered& input) {
  uint32_t newest_id = newest ? sdl_.GetWindowID(newest) : 0;
  switch (event.type) {
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        for (auto& [id, shown] : shown_)
          if (sdl_.GetWindowID(shown) == event.window.windowID)
            if (const HostWindow* window = service_.window(id)) present(shown, *window);
      } else if (event.window.event == SDL_WINDOWEVENT_CLOSE && event.window.windowID == newest_id) {
        input.close = true;
      }
      break;
    case SDL_KEYDOWN:
      if (event.key.windowID != newest_id) break;
      if (auto key = special_key(event.key)) input.keys.push_back(*key);
      break;
    case SDL_TEXTINPUT:
      if (event.text.windowID != newest_id) break;
      for (const char* c = event.text.text; *c; ++c)
        if (*c >= 0x20 && *c < 0x7F) input.keys.push_back(KeyInput{uint8_t(*c), 0});
      break;
    case SDL_MOUSEMOTION:
      if (event.motion.windowID == newest_id) input.pointer = {event.motion.x, event.motion.y};
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (event.button.windowID != newest_id) break;
      input.pointer = {event.button.x, event.button.y};
      if (event.type == SDL_MOUSEBUTTONDOWN) {
        held_buttons_ |= button_bit(event.button.button);
        input.pressed |= button_bit(event.button.button);
      } else {
        held_buttons_ &= ~button_bit(event.button.button);
      }
      break;
  }
}

void SdlWindows::deliver(uint64_t frame, const InputAction& live, const InputAction& recorded) {
  apply_input(service_, live);
  if (recorder_) recorder_->record(frame, recorded);
}

void SdlWindows::end_frame(uint64_t frame) {
  const HostWindow* newest = service_.latest();
  auto found = newest ? shown_.find(newest->id) : shown_.end();
  SDL_Window* target = found != shown_.end() ? found->second : nullptr;
  Gathered input;
  SDL_Event event;
  while (sdl_.PollEvent(&event)) translate(event, target, input);
  if (!target) return;

  int left, top;
  sdl_.GetWindowPosition(target, &left, &top);
  // The position is the desktop's business: it is not recorded. A replay keeps its window
  // where the headless host puts it, and the recorded pointer is relative to that place.
  if (left - kClientLeft != newest->x || top - kClientTop != newest->y)
    service_.move(left - kClientLeft, top - kClientTop);
  bool focused = sdl_.GetKeyboardFocus() == target;
  if (focused != newest->focused) deliver(frame, FocusInput{focused}, FocusInput{focused});
  for (const KeyInput& key : input.keys) deliver(frame, key, key);
  if (input.pointer && input.pointer != last_pointer_) {
    last_pointer_ = input.pointer;
    auto [x, y] = *input.pointer;
    deliver(frame, PointerAbsInput{left + x, top + y},
            PointerAbsInput{x + kClientLeft, y + kClientTop});
  }
  uint32_t buttons = held_buttons_ | input.pressed;
  if (buttons != reported_buttons_) deliver(frame, ButtonsInput{buttons}, ButtonsInput{buttons});
  reported_buttons_ = buttons;
  if (input.close) deliver(frame, CloseInput{}, CloseInput{});
}

}  // namespace nk::sim
