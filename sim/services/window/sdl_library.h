#pragma once
// SDL2, opened only when a desktop window is asked for. nkhost does not link it: SDL brings
// 45 more libraries (X11, Wayland, sound, ...), and loading and relocating them took
// nearly half of every run's start-up, headless ones included.

#include <SDL2/SDL.h>

namespace nk::sim {

// The SDL functions the desktop window calls, by their names without "SDL_".
struct SdlLibrary {
  decltype(&::SDL_SetHint) SetHint;
  decltype(&::SDL_Init) Init;
  decltype(&::SDL_Quit) Quit;
  decltype(&::SDL_GetError) GetError;
  decltype(&::SDL_StartTextInput) StartTextInput;
  decltype(&::SDL_GetNumVideoDisplays) GetNumVideoDisplays;
  decltype(&::SDL_GetDisplayBounds) GetDisplayBounds;
  decltype(&::SDL_CreateWindow) CreateWindow;
  decltype(&::SDL_DestroyWindow) DestroyWindow;
  decltype(&::SDL_HideWindow) HideWindow;
  decltype(&::SDL_GetWindowID) GetWindowID;
  decltype(&::SDL_GetWindowSize) GetWindowSize;
  decltype(&::SDL_SetWindowSize) SetWindowSize;
  decltype(&::SDL_GetWindowTitle) GetWindowTitle;
  decltype(&::SDL_SetWindowTitle) SetWindowTitle;
  decltype(&::SDL_GetWindowPosition) GetWindowPosition;
  decltype(&::SDL_GetWindowSurface) GetWindowSurface;
  decltype(&::SDL_UpdateWindowSurface) UpdateWindowSurface;
  decltype(&::SDL_GetKeyboardFocus) GetKeyboardFocus;
  decltype(&::SDL_PollEvent) PollEvent;
  decltype(&::SDL_MapRGB) MapRGB;
  decltype(&::SDL_FillRect) FillRect;
  decltype(&::SDL_CreateRGBSurfaceWithFormatFrom) CreateRGBSurfaceWithFormatFrom;
  decltype(&::SDL_SetSurfaceBlendMode) SetSurfaceBlendMode;
  decltype(&::SDL_UpperBlit) BlitSurface;  // SDL_BlitSurface is a macro for SDL_UpperBlit
  decltype(&::SDL_FreeSurface) FreeSurface;
};

// libSDL2-2.0.so.0 (or the file NKHOST_SDL_LIBRARY names), opened on first use and kept
// for the rest of the process; throws std::runtime_error saying what is missing.
const SdlLibrary& sdl_library();

}  // namespace nk::sim
