// Listing the central directory.
#include "ZipBuilder.h"

void TZipBuilder::FreeZipDirEntryRecords() { zipDirEntryRecords_.clear(); }

void TZipBuilder::List() {
  if (Designing) return;
  FreeZipDirEntryRecords();
  // The central directory reader is not there yet: an existing archive is reported
  // as unreadable rather than shown as empty.
  if (FileExists(zipFileName_)) {
    ShowZipMessage(10202, "\nlisting is not available in this build");
    zipFileName_.clear();
  }
  if (OnDirUpdate) OnDirUpdate(this);
}
