// Members too big to hold in memory: compressed through zlib straight into the
// archive, the CRC taken in the same pass (members under the traditional cipher
// are read once more first, for the CRC their encryption header needs).
#pragma once

#include "engines/zipdll/EngineSession.h"
#include "engines/zipdll/MemberCompressor.h"
#include "engines/zipdll/OutputFile.h"
#include "engines/zipdll/ArchiveRecords.h"

namespace zipdll {

// Writes local header and data of `header` (name, date, flags prepared) from
// `job.diskPath`; fills in method, CRC and sizes. Throws EngineError.
void WriteStreamedMember(platform::FileSystem& fs, const MemberJob& job, Member& header,
                         OutputFile& out, EngineSession& session);

}  // namespace zipdll
