#include "sim/services/window/sdl_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace nk::sim {
namespace {

constexpr const char* kSdlSoname = "libSDL2-2.0.so.0";

SdlLibrary open_sdl() {
  const char* chosen = getenv("NKHOST_SDL_LIBRARY");
  std::string library = chosen && *chosen ? chosen : kSdlSoname;
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw std::runtime_error("--window sdl needs " + library + ": " + dlerror());
  auto take = [&](auto*& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
    if (!slot) throw std::runtime_error("--window sdl needs " + std::string(name) + " from " + library);
  };
  SdlLibrary sdl;
  take(sdl.SetHint, "SDL_SetHint");
  take(sdl.Init, "SDL_Init");
  take(sdl.Quit, "SDL_Quit");
  take(sdl.GetError, "SDL_GetError");
  take(sdl.StartTextInput, "SDL_StartTextInput");
  take(sdl.GetNumVideoDisplays, "SDL_GetNumVideoDisplays");
  take(sdl.GetDisplayBounds, "SDL_GetDisplayBounds");
  take(sdl.CreateWindow, "SDL_CreateWindow");
  take(sdl.DestroyWindow, "SDL_DestroyWindow");
  take(sdl.HideWindow, "SDL_HideWindow");
  take(sdl.GetWindowID, "SDL_GetWindowID");
  take(sdl.GetWindowSize, "SDL_GetWindowSize");
  take(sdl.SetWindowSize, "SDL_SetWindowSize");
  take(sdl.GetWindowTitle, "SDL_GetWindowTitle");
  take(sdl.SetWindowTitle, "SDL_SetWindowTitle");
  take(sdl.GetWindowPosition, "SDL_GetWindowPosition");
  take(sdl.GetWindowSurface, "SDL_GetWindowSurface");
  take(sdl.UpdateWindowSurface, "SDL_UpdateWindowSurface");
  take(sdl.GetKeyboardFocus, "SDL_GetKeyboardFocus");
  take(sdl.PollEvent, "SDL_PollEvent");
  take(sdl.MapRGB, "SDL_MapRGB");
  take(sdl.FillRect, "SDL_FillRect");
  take(sdl.CreateRGBSurfaceWithFormatFrom, "SDL_CreateRGBSurfaceWithFormatFrom");
  take(sdl.SetSurfaceBlendMode, "SDL_SetSurfaceBlendMode");
  take(sdl.BlitSurface, "SDL_UpperBlit");
  take(sdl.FreeSurface, "SDL_FreeSurface");
  return sdl;
}

}  // namespace

const SdlLibrary& sdl_library() {
  // Opened once and never closed; a failed attempt is tried again on the next call.
  static const SdlLibrary sdl = open_sdl();
  return sdl;
}

}  // namespace nk::sim
