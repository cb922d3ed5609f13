// The re-entrancy guard. Every public archive operation tests Busy() before it
// changes anything: an event handler that starts an operation while one runs (a
// second click handled by the callback's message processing) gets an immediate
// return, and the running operation keeps its errors, counts, lists, stream and
// Cancel. An operation holds a RunningScope on ZipRunning (it writes the archive)
// or UnzipRunning (it reads it) while it runs. An operation that runs another
// guarded operation of the same component calls that one's body, or releases
// its scope first (copying with removal runs Delete on the source that way).
#pragma once

#include "zipbuilder/ZipBuilder.h"

class TZipBuilder::RunningScope {
 public:
  RunningScope(TZipBuilder& owner, RunKind kind)
      : flag_(kind == RunKind::Zip ? owner.zipRunning_ : owner.unzipRunning_) {
    flag_ = true;
  }
  ~RunningScope() { Release(); }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;
  void Release() { flag_ = false; }

 private:
  bool& flag_;
};
