// Joins the volumes of a set cut from arbitrary bytes, and writes a set from
// them taken as a single-file archive. The first byte chooses how many volumes
// (1 to 4) the rest is cut into; the volumes are numbered files, so no disk is
// ever asked for. Any crash, out-of-bounds access or hang is a finding; a joined
// or written result must be a whole file, and no temporary may stay behind.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    std::random_device random;
    fs::path path = fs::temp_directory_path() / ("span_fuzzer-" + std::to_string(random()));
    fs::create_directories(path / "set");
    fs::create_directories(path / "temp");
    return path;
  }();
  return dir;
}

void WriteFile(const fs::path& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const fs::path& dir = WorkDir();
  for (const auto& entry : fs::directory_iterator(dir / "set")) fs::remove(entry.path());
  const size_t volumes = 1 + data[0] % 4;
  ++data, --size;
  for (size_t v = 0; v < volumes; ++v) {
    const size_t begin = size * v / volumes, end = size * (v + 1) / volumes;
    WriteFile(dir / "set" / ("f00" + std::to_string(v + 1) + ".zip"), data + begin, end - begin);
  }

  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  zip.Unattended = true;
  zip.HowToDelete = htdFinal;
  zip.TempDir = (dir / "temp").string();
  std::string joined = (dir / "temp").string() + "/";
  const int joinResult =
      zip.ReadSpan((dir / "set" / ("f00" + std::to_string(volumes) + ".zip")).string(), joined);
  // The component names files with either separator.
  std::replace(joined.begin(), joined.end(), '\\', '/');
  if (joinResult == 0) {
    if (!fs::exists(joined)) std::abort();
    fs::remove(joined);
  } else if (!joined.empty()) {
    std::abort();
  }
  if (!fs::is_empty(dir / "temp")) std::abort();

  // The same bytes as one archive written as a set of small volumes.
  WriteFile(dir / "single.zip", data, size);
  for (const auto& entry : fs::directory_iterator(dir / "set")) fs::remove(entry.path());
  zip.SetMaxVolumeSize(4096);
  zip.SetMinFreeVolSize(512);
  zip.WriteSpan((dir / "single.zip").string(), (dir / "set" / "w.zip").string());
  return 0;
}
