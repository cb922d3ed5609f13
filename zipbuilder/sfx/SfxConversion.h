// Converting between an archive and a self-extractor (sfx/ZipSFX.cpp one way,
// sfx/ZipSFXBack.cpp back): the output is written beside its target as a
// temporary file and put in the target's place once it lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/EndRecord.h"
#include "zipformat/Records.h"

class OutputRule;
namespace platform {
class TemporaryFile;
}

class TZipBuilder::SfxConversion {
 public:
  explicit SfxConversion(TZipBuilder& owner) : zb_(owner) {}

  // The bodies of ConvertSFX(createEmpty) and ConvertZIP.
  int ToSfx(bool createEmpty);
  int ToZip();
  // True when the start of `file` holds the marker of an installer stub, which is not converted.
  bool IsInstallShield(platform::FileHandle file);

 private:
  bool FindSfxStub();
  // Reports a refusal of the output rule; false then.
  bool CheckOutput(const OutputRule& rule, const std::string& output);
  // Reports a conversion's copy that fell short as the write error it is.
  void ReportShortCopy();
  // Measures the written `out` into outputSize and closes it; returns `result`.
  int CloseOutput(platform::FileHandle out, int result, int64_t& outputSize);
  int ReplaceIcon(platform::FileHandle output, int64_t stubSize);
  // Creates the conversion's output file (kInvalidHandle when it cannot).
  platform::FileHandle CreateOutput(const std::string& temporary);
  // Opens the archive as last listed, whatever ran before, and reads its end
  // records; throws EZipBuilder where they cannot be read.
  zip::DirectoryExtent OpenListedArchive(zip::ZipEndOfCentral& end, std::optional<zip::Zip64EndOfCentral>& zip64);
  int WriteSfx(const std::string& temporary, const std::vector<uint8_t>& header, bool createEmpty,
               int64_t& stubSize, int64_t& archiveSize, int64_t& outputSize);
  int WriteZipFromSfx(const std::string& temporary, int64_t& archiveSize, int64_t& outputSize);
  // Puts the finished `temporary` in the place of `target` once it lists, then
  // erases `previous` (the converted archive, unless "") and continues with `target`.
  int PlaceConverted(platform::TemporaryFile& temporary, const std::string& target, const std::string& previous,
                     bool listTarget);

  TZipBuilder& zb_;
};
