// The engines' side of ZCallBackStruct: one record reused for every call, the
// component's answers read back, and its "stop" answer (any non-zero result)
// remembered for the rest of the run. Only the thread that entered the engine
// may call back.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"

namespace engine {

class EngineCallback {
 public:
  // `compressing` marks the compression engine's password requests (IsOperationZip).
  EngineCallback(ZFunctionPtr function, void* caller, uint32_t handle, bool compressing);

  // Calls the component with one action. Returns false when it asked to stop,
  // now or on an earlier call.
  bool Call(int32_t action, int32_t errorCode, intptr_t value, const std::string& text = {});

  bool Progress(int32_t action, uint64_t value) {
    return Call(action, 0, static_cast<intptr_t>(value));
  }
  bool Message(int32_t engineError, const std::string& text) {
    return Call(kActionMessage, engineError, 0, text);
  }
  bool Skipped(const std::string& name, int32_t engineError, int32_t reason) {
    return Call(kActionSkipped, engineError, reason, name);
  }

  // Member order. Work on members may be spread over threads and finish out of
  // order; the component still sees the events of one member (begin, bytes,
  // messages, skip) together, and the members in their order. Each member has a
  // lane: calls for a lane are held while an earlier lane is open and delivered
  // when the earlier ones have closed. A question (an action that needs its
  // answer) cannot be held: before it is asked on a lane that is not the oldest
  // open one, the catch-up function runs to close the earlier lanes.
  using Lane = uint64_t;
  Lane OpenLane();  // the next member's lane, made the current one
  Lane CurrentLane() const { return current_; }
  void UseLane(Lane lane) { current_ = lane; }
  // The lane's events are complete: what later lanes hold goes out as far as
  // the next open lane.
  void CloseLane(Lane lane);
  // Closes every open lane, in order; false when the run was stopped.
  void SetCatchUp(std::function<bool()> catchUp) { catchUp_ = std::move(catchUp); }
  // Drops every lane and what it holds (a stopped or failed run): later calls
  // are delivered at once.
  void EndLanes();

  bool HasFunction() const { return function_ != nullptr; }
  bool Stopped() const { return stopped_; }
  void Stop() { stopped_ = true; }
  // Throws EngineError(kEngineAborted) once the component has asked to stop.
  void ThrowIfStopped() const;

  // The record as the component left it after the last call.
  const ZCallBackStruct& Answer() const { return record_; }
  // The text area as the component left it, up to its first zero.
  std::string AnswerText() const;

 private:
  ZFunctionPtr function_;
  void* caller_;
  uint32_t handle_;
  bool compressing_;
  bool stopped_ = false;
  ZCallBackStruct record_{};

  struct HeldCall {
    int32_t action;
    int32_t errorCode;
    intptr_t value;
    std::string text;
  };
  struct LaneState {
    bool closed = false;
    std::vector<HeldCall> held;
  };
  bool Deliver(int32_t action, int32_t errorCode, intptr_t value, const std::string& text);
  // The current lane waits for an earlier one.
  bool Holding() const;
  LaneState* Find(Lane lane);
  // Delivers what the oldest lanes hold and drops the closed ones.
  void Release();
  std::deque<LaneState> lanes_;  // lanes from firstLane_ on, oldest first
  Lane firstLane_ = 1;
  Lane nextLane_ = 1;
  Lane current_ = 0;  // none
  std::function<bool()> catchUp_;
};

}  // namespace engine
