#include "engines/zipdll/AddRequest.h"

#include <algorithm>
#include <cctype>

#include "platform/Paths.h"

namespace zipdll {
namespace {

std::optional<std::string> OptionalText(const char* text) {
  if (!text || !*text) return std::nullopt;
  return std::string(text);
}

std::vector<std::string> SplitSuffixes(const char* list) {
  std::vector<std::string> suffixes;
  if (!list) return suffixes;
  std::string current;
  for (const char* p = list;; ++p) {
    if (*p == ':' || *p == '\0') {
      if (!current.empty()) {
        if (current[0] != '.') current.insert(current.begin(), '.');
        suffixes.push_back(current);
      }
      current.clear();
      if (*p == '\0') break;
    } else {
      current += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
  }
  return suffixes;
}

// The fields both layouts share (offsets 0 to 127).
template <typename Record>
void ReadCommonFields(const Record& r, AddRequest& q) {
  // An archive reached through a link is rewritten in its target's place.
  q.archive = r.pZipFN ? platform::ResolveSymlinks(r.pZipFN) : "";
  q.password = OptionalText(r.pZipPassword);
  q.storeSuffixes = SplitSuffixes(r.pSuffix);
  q.hiddenFiles = r.fSystem != 0;
  q.noDirEntries = r.fNoDirEntries != 0;
  q.verbose = r.fVerboseEnabled != 0 || r.fTraceEnabled != 0;
  q.level = std::clamp(r.fLevel, 0, static_cast<int32_t>(kLevelBest));
  q.junkDirs = r.fJunkDir != 0;
  q.forceDos = r.fForce != 0;
  q.move = r.fMove != 0;
  q.deleteEntries = r.fDeleteEntries != 0;
  q.update = r.fUpdate != 0;
  q.freshen = r.fFreshen != 0 && !q.update;
  q.latestTime = r.fLatestTime != 0;
  q.aesKeyBits = r.fAesKeyBits;
  q.storeLinks = r.fStoreLinks != 0;
}

}  // namespace

bool ReadAddRequest(void* record, AddRequest& q) {
  // The older layout's check field lies where the current one keeps a pointer,
  // which can never be 7; so testing the older layout first is unambiguous.
  auto* old = static_cast<ZipParamsOld*>(record);
  if (old->fSeven == 7) {
    ReadCommonFields(*old, q);
    for (uint32_t i = 0; i < old->fArgc && i < kOldSpecTableSize; ++i) {
      if (!old->FDS[i]) continue;
      FileSpec spec;
      spec.spec = old->FDS[i];
      spec.encrypt = old->fEncrypt != 0;
      spec.recurse = old->fRecurse != 0;
      spec.password = q.password;
      q.specs.push_back(spec);
    }
    return true;
  }
  auto* r = static_cast<ZipParams*>(record);
  if (r->fSeven != 7) return false;
  ReadCommonFields(*r, q);
  q.tempDir = r->pTempDir ? r->pTempDir : "";
  if (r->pKeepFromZipFN && *r->pKeepFromZipFN) q.keepFrom = r->pKeepFromZipFN;
  q.comment = r->fArchComment ? std::optional<std::string>(r->fArchComment) : std::nullopt;
  q.archiveOnly = r->fArchiveFilesOnly != 0;
  q.resetArchive = r->fResetArchiveBit != 0;
  q.moveToTrash = r->fHowToMove == 1;
  for (uint32_t i = 0; r->fFDS && i < r->fArgc; ++i) {
    const ZipFileData& d = r->fFDS[i];
    if (!d.fFileSpec) continue;
    FileSpec spec;
    spec.spec = d.fFileSpec;
    spec.encrypt = d.fEncrypt != 0;
    spec.recurse = d.fRecurse != 0;
    spec.password = OptionalText(d.fFilePassword);
    spec.rootDir = d.fRootDir ? d.fRootDir : "";
    q.specs.push_back(spec);
  }
  for (uint32_t i = 0; r->fExFiles && i < r->fTotExFileSpecs; ++i) {
    if (r->fExFiles[i] && *r->fExFiles[i]) q.exclusions.push_back(r->fExFiles[i]);
  }
  q.useOutStream = r->fUseOutStream != 0;
  q.outStream = static_cast<uint8_t*>(r->fOutStream);
  q.outStreamSize = &r->fOutStreamSize;
  q.useInStream = r->fUseInStream != 0;
  q.inStream = static_cast<const uint8_t*>(r->fInStream);
  q.inStreamSize = r->fInStreamSize;
  q.streamAttributes = r->fStrFileAttr;
  q.streamDateTime = r->fStrFileDate;
  return true;
}

}  // namespace zipdll
