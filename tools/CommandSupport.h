// What the subcommands share: reporting to stderr and opening the archive.
#pragma once

#include <string>

#include "zipbuilder/ZipBuilder.h"

// Unattended: nobody is asked, and every report goes to stderr as "zipbuilder: TEXT".
void ReportToStderr(TZipBuilder& zip);

enum class ArchiveOpening { Listed, Missing, Unreadable };

// Names `archive` on the component, which lists it. A missing archive is
// reported here; an unreadable one has been reported by the listing.
ArchiveOpening OpenArchive(TZipBuilder& zip, const std::string& archive);

// Names `archive` on the component without listing it, for the operations that
// read the directory themselves (listing first would read it twice). False, with
// a report, when the archive does not exist.
bool NameArchive(TZipBuilder& zip, const std::string& archive);
