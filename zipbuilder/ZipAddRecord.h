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
  } r{};
  bool oldLayout = false;
  std::vector<std::unique_ptr<char[]>> texts;
  std::vector<ZipFileData> specTable;
  std::vector<char*> exclusions;

  ZipParams& Head() { return r.current; }  // both layouts share the head
  char* AddText(const std::string& text) {
    texts.emplace_back(new char[text.size() + 1]);
    std::memcpy(texts.back().get(), text.c_str(), text.size() + 1);
    return texts.back().get();
  }
  void SetSeven() {
    if (oldLayout) r.old.fSeven = 7;
    else r.current.fSeven = 7;
  }
};

// The older layout holds at most this many specifications.
constexpr size_t kMaxOldLayoutSpecs = kOldSpecTableSize;
