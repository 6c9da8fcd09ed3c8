#include "sim/services/window/scripted_input.h"

namespace nk::sim {

bool apply_input(WindowService& service, const InputAction& action) {
  struct Apply {
    WindowService& service;
    bool operator()(const KeyInput& k) const {
      service.queue_key(k.character, k.code);
      return true;
    }
    bool operator()(const PointerAbsInput& p) const {
      service.pointer_abs(p.x, p.y, p.range_x, p.range_y);
      return true;
    }
    bool operator()(const PointerRelInput& p) const {
      service.pointer_rel(p.dx, p.dy);
      return true;
    }
    bool operator()(const ButtonsInput& b) const {
      service.set_buttons(b.mask);
      return true;
    }
    bool operator()(const CloseInput&) const { return service.request_close(); }
    bool operator()(const FocusInput& f) const { return service.set_focus(f.on); }
    bool operator()(const MoveInput& m) const { return service.move(m.x, m.y); }
  };
  return std::visit(Apply{service}, action);
}

bool targets_window(const InputAction& action) {
  return std::holds_alternative<CloseInput>(action) || std::holds_alternative<FocusInput>(action) ||
         std::holds_alternative<MoveInput>(action);
}

ScriptedInput::ScriptedInput(WindowService& service, InputScript script, InputRecorder* recorder)
    : service_(service), recorder_(recorder), script_(std::move(script)) {
  service_.add_frame_observer([this](uint64_t frame) { play(frame); });
  service_.add_publish_observer([this](const Publication&) { retry_waiting(); });
  play(0);
}

void ScriptedInput::play(uint64_t frame) {
  retry_waiting();
  for (; !next_.done() && next_.event().frame <= frame; next_.next()) {
    if (recorder_) recorder_->record(next_.event().frame, next_.event().action);
    deliver(next_.event().action);
  }
}

void ScriptedInput::deliver(const InputAction& action) {
  // Later window events keep their order behind ones still waiting.
  if (!waiting_.empty() && targets_window(action)) {
    waiting_.push_back(action);
    return;
  }
  if (!apply_input(service_, action)) waiting_.push_back(action);
}

void ScriptedInput::retry_waiting() {
  if (waiting_.empty() || !service_.latest()) return;
  for (const InputAction& action : waiting_) apply_input(service_, action);
  waiting_.clear();
}

}  // namespace nk::sim
