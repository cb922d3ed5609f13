// Deleting: the add command record set up for deletion, one engine call.
#include "zipbuilder/engine/ZipAddRecord.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/engine/EngineUse.h"
#include "zipbuilder/engine/AddCall.h"
#include "zipbuilder/core/RunningScope.h"

void TZipBuilder::Delete() {
  if (Busy()) return;
  errCode_ = 0;
  successCount_ = 0;
  message_.clear();
  if (fSpecArgs_.empty()) {
    ShowZipMessage(kMsgNothingToDelete, "");
    return;
  }
  if (!FileExists(zipFileName_)) {
    ShowZipMessage(kMsgNoZipFile, "");
    return;
  }
  Cancel = false;
  {
    EngineUse engine(*this, EngineKind::Zip);
    if (!engine.Loaded()) return;
    RunningScope running(*this, RunKind::Zip);
    AddCall(*this).ExecAddRecord(GetZipVers(), zipFileName_, [&](AddRecord& rec) {
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
      if (!rec.oldLayout) rec.SetPlainSpecs(fSpecArgs_);
    });
  }
  if (successCount_ > 0) List();
}
