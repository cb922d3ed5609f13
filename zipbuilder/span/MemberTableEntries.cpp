// The member table's entries: allocated for a count of members, released
// together, and found by stored name.
#include <algorithm>

#include "zipbuilder/ZipBuilder.h"
#include "zipformat/TextCase.h"

std::unique_ptr<span::MDZipDataTable> TZipBuilder::AllocSpanMem(int count) {
  auto table = std::make_unique<span::MDZipDataTable>();
  table->reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) table->push_back(std::make_unique<span::MDZipData>());
  return table;
}

void TZipBuilder::DeleteSpanMem(std::unique_ptr<span::MDZipDataTable>& table) {
  table.reset();
}

int TZipBuilder::FindZipEntry(int count, const span::MDZipDataTable& table,
                              const std::string& name, int nameLength) {
  if (nameLength < 0 || name.size() < static_cast<size_t>(nameLength))
    throw EZipBuilder(kMsgLocalHeaderNotFound);
  const std::string wanted = name.substr(0, static_cast<size_t>(nameLength));
  const int limit = std::min<int>(count, static_cast<int>(table.size()));
  for (int i = 0; i < limit; ++i) {
    const span::MDZipData* entry = table[i].get();
    // Names of one length only: folding letter case can change a name's length
    // (the three-byte KELVIN SIGN folds to "k").
    if (!entry || !entry->FileName || entry->FileNameLen != nameLength ||
        entry->FileName->size() < entry->FileNameLen)
      continue;
    // Letter case by the locale's rules, as every other name lookup compares.
    if (zip::SameTextIgnoringCase(entry->FileName->substr(0, entry->FileNameLen), wanted)) return i;
  }
  throw EZipBuilder(kMsgLocalHeaderNotFound);
}
