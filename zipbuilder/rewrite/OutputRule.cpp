#include "zipbuilder/rewrite/OutputRule.h"

#include "platform/Paths.h"
#include "zipbuilder/span/MemberTable.h"
#include "zipbuilder/core/ZipErrors.h"

void OutputRule::AddInput(const std::string& path) {
  if (auto id = files_->Identify(path)) inputs_.emplace_back(path, *id);
}

void OutputRule::AddNumberedVolumes(const std::string& volumeFile, int lastDisk) {
  for (int n = 0; n <= lastDisk; ++n) AddInput(VolumeFileOf(volumeFile, n));
}

void OutputRule::Check(const std::string& output) const {
  const auto info = files_->Stat(platform::ResolveSymlinks(output));
  if ((info && info->isDirectory) ||
      (!output.empty() && platform::IsPathSeparator(output.back())))
    throw EZipBuilder(kMsgOutputIsDirectory, output);
  const auto id = files_->Identify(output);
  if (!id) return;  // a new file is none of the inputs
  for (const auto& [input, inputId] : inputs_)
    if (inputId == *id) throw EZipBuilder(kMsgOutputIsInput, output, input);
}

bool OutputRule::Reads(const std::string& path) const {
  const auto id = files_->Identify(path);
  if (!id) return false;
  for (const auto& input : inputs_)
    if (input.second == *id) return true;
  return false;
}

bool SameFile(platform::FileSystem& files, const std::string& a, const std::string& b) {
  const auto first = files.Identify(a);
  return first && first == files.Identify(b);
}

std::string VolumeFileOf(const std::string& volumeFile, int diskNumber) {
  std::string name = volumeFile;
  const size_t extension = name.size() - platform::ExtractFileExt(name).size();
  const size_t nameStart = platform::ExtractFilePath(name).size();
  const size_t start = extension >= nameStart + 3 ? extension - 3 : nameStart;
  name.replace(start, extension - start, DiskSpan::VolumeNumber(diskNumber));
  return name;
}
