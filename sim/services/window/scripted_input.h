#pragma once
// Input events delivered to the window service at frame boundaries: a script's events
// (`--input FILE`) and, through apply_input, the desktop window's.

#include <vector>

#include "sim/services/window/input_recorder.h"
#include "sim/services/window/input_script.h"
#include "sim/services/window/window_service.h"

namespace nk::sim {

// Hands one event to the service. Close, focus and move act on the newest window; false
// when there is none.
bool apply_input(WindowService& service, const InputAction& action);
bool targets_window(const InputAction& action);

// Plays a script: events for frame 0 are queued at once, the others when frame_end has been
// called N times. A window event that finds no window waits for the next publication, so
// "@0 focus off" can describe a window the program has not opened yet. With a recorder,
// the script's events go into the recording too, so that it replays the whole session.
class ScriptedInput {
 public:
  ScriptedInput(WindowService& service, InputScript script, InputRecorder* recorder = nullptr);
  ScriptedInput(const ScriptedInput&) = delete;
  ScriptedInput& operator=(const ScriptedInput&) = delete;

 private:
  void play(uint64_t frame);
  void deliver(const InputAction& action);
  void retry_waiting();

  WindowService& service_;
  InputRecorder* recorder_;
  const InputScript script_;
  InputScript::Reader next_{script_};
  std::vector<InputAction> waiting_;  // window events that came before any window
};

}  // namespace nk::sim
