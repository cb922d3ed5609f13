// Members too big to hold in memory: read twice (CRC first, which the
// encryption header needs), compressed through zlib straight into the archive.
#pragma once

#include "EngineSession.h"
#include "MemberCompressor.h"
#include "OutputFile.h"
#include "ZipFormat.h"

namespace zipdll {

// Writes local header and data of `header` (name, date, flags prepared) from
// `job.diskPath`; fills in method, CRC and sizes. Throws EngineError.
void WriteStreamedMember(platform::FileSystem& fs, const MemberJob& job, MemberHeader& header,
                         OutputFile& out, EngineSession& session);

}  // namespace zipdll
