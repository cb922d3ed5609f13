// Adds files to an archive (made when missing), showing progress by bytes, and
// cancels the run once more than LIMIT bytes were compressed.
//   add_progress [--cancel-after LIMIT] ARCHIVE FILE...
// Cancel is read at the engine's next callback; a cancelled run leaves the
// archive as it was and reports a non-zero ErrCode.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zipbuilder/ZipBuilder.h"

int main(int argc, char** argv) {
  int first = 1;
  long long limit = -1;
  if (argc > 2 && std::strcmp(argv[1], "--cancel-after") == 0) {
    limit = std::atoll(argv[2]);
    first = 3;
  }
  if (argc - first < 2) {
    std::fprintf(stderr, "usage: add_progress [--cancel-after LIMIT] ARCHIVE FILE...\n");
    return 2;
  }

  TZipBuilder zip;
  zip.SetFileName(argv[first]);  // a missing archive is made by Add
  zip.AddOptions = AddOpts{AddDirNames, AddRecurseDirs};
  for (int i = first + 1; i < argc; ++i) zip.FSpecArgs().push_back(argv[i]);

  long long total = 0, done = 0;
  zip.OnProgress = [&](TZipBuilder* sender, ProgressType type, const std::string& name, int64_t size) {
    switch (type) {
      case ptTotalBytes: total = size; break;
      case ptMemberBegin: std::printf("adding %s\n", name.c_str()); break;
      case ptBytesDone:
        done += size;
        if (total > 0) std::printf("  %lld of %lld bytes (%lld%%)\n", done, total, done * 100 / total);
        if (limit >= 0 && done > limit) sender->Cancel = true;
        break;
      default: break;
    }
  };
  zip.OnMessage = [](TZipBuilder*, int code, const std::string& text) {
    if (code != 0) std::fprintf(stderr, "message %d: %s\n", code, text.c_str());
  };

  zip.Add();
  if (zip.ErrCode() != 0) {
    std::fprintf(stderr, "add: %s (%d)\n", zip.Message().c_str(), zip.ErrCode());
    return 1;
  }
  std::printf("%d added, %d members\n", zip.SuccessCount(), zip.Count());
  return 0;
}
