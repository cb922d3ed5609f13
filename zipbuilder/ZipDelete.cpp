// Deleting: the add command record set up for deletion, one engine call.
#include "zipbuilder/ZipAddRecord.h"
#include "zipbuilder/ZipBuilder.h"

void TZipBuilder::Delete() {
  errCode_ = 0;
  successCount_ = 0;
  message_.clear();
  if (fSpecArgs_.empty()) {
    ShowZipMessage(10401, "");
    return;
  }
  if (!FileExists(zipFileName_)) {
    ShowZipMessage(10102, "");
    return;
  }
  if (zipRunning_) return;
  Cancel = false;
  {
    EngineUse engine(*this, EngineKind::Zip);
    if (!engine.Loaded()) return;
    zipRunning_ = true;
    StartWaitCursor();
    AddRecord rec;
    addRecord_ = &rec;
    try {
      int32_t version = GetZipVers();
      rec.oldLayout = version < 151;
      SetZipSwitches(zipFileName_, version);
      ZipParams& h = rec.Head();
      h.fDeleteEntries = 1;
      h.fJunkDir = 0;
      h.fRecurse = 0;
      h.fGrow = 0;
      h.fMove = 0;
      h.fUpdate = 0;
      h.fFreshen = 0;
      h.fEncrypt = 0;
      // The lines go to the engine unchanged: no marker is interpreted here.
      bool tooManySpecs = false;
      if (rec.oldLayout) {
        tooManySpecs = fSpecArgs_.size() > kMaxOldLayoutSpecs;
        for (size_t i = 0; i < fSpecArgs_.size() && !tooManySpecs; ++i) rec.r.old.FDS[i] = rec.AddText(fSpecArgs_[i]);
      } else {
        rec.specTable.resize(fSpecArgs_.size());
        for (size_t i = 0; i < fSpecArgs_.size(); ++i) rec.specTable[i].fFileSpec = rec.AddText(fSpecArgs_[i]);
        rec.r.current.fFDS = rec.specTable.data();
      }
      h.fArgc = static_cast<uint32_t>(fSpecArgs_.size());
      rec.SetSeven();
      if (tooManySpecs) {
        ShowZipMessage(10101, "\ntoo many file specifications for this engine version (at most 4097)");
      } else {
        successCount_ = ZipDllExec(&rec.r.current);
        RethrowCallbackException();
      }
    } catch (...) {
      callbackException_ = nullptr;
      ShowZipMessage(10101, "");
    }
    fSpecArgs_.clear();
    fSpecArgsExcl_.clear();
    addRecord_ = nullptr;
    StopWaitCursor();
  }
  zipRunning_ = false;
  if (successCount_ > 0) List();
}
