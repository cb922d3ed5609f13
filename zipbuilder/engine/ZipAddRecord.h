// The add command record (also used for deleting) in the layout the engine's
// version selects, with every block its pointers lead to; all of it is freed
// together when the operation ends.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"
#include "zipbuilder/ZipBuilder.h"

struct TZipBuilder::AddRecord {
  union Layouts {
    ZipParams current;
    ZipParamsOld old;
  } r;
  bool oldLayout = false;
  // Every byte of the larger layout is zero, whichever member is used.
  AddRecord() { std::memset(&r, 0, sizeof r); }
  std::vector<std::unique_ptr<char[]>> texts;
  std::vector<ZipFileData> specTable;
  std::vector<char*> exclusions;

  ZipParams& Head() { return r.current; }  // both layouts share the head
  char* AddText(const std::string& text) {
    texts.emplace_back(new char[text.size() + 1]);
    std::memcpy(texts.back().get(), text.c_str(), text.size() + 1);
    return texts.back().get();
  }
  // Plain copies of `lines`, no marker interpreted: the older layout's pointer
  // table, or entries holding nothing but the file pattern. False when the older
  // layout has no room for them all (nothing is copied then).
  bool SetPlainSpecs(const std::vector<std::string>& lines) {
    if (oldLayout) {
      if (lines.size() > kOldSpecTableSize) return false;
      for (size_t i = 0; i < lines.size(); ++i) r.old.FDS[i] = AddText(lines[i]);
      return true;
    }
    specTable.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) specTable[i].fFileSpec = AddText(lines[i]);
    r.current.fFDS = specTable.empty() ? nullptr : specTable.data();
    return true;
  }
  // The current layout's entries with the markers of adding interpreted.
  void SetMarkedSpecs(const std::vector<std::string>& lines, const std::string& rootDir);
  void SetSeven() {
    if (oldLayout) r.old.fSeven = 7;
    else r.current.fSeven = 7;
  }
};
