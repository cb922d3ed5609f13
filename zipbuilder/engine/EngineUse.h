// Makes sure an engine is loaded for one operation; unloads it at the end of
// the scope only when it was loaded here (engine/ZipEngineLoader.cpp).
#pragma once

#include "zipbuilder/ZipBuilder.h"

class TZipBuilder::EngineUse {
 public:
  EngineUse(TZipBuilder& owner, EngineKind kind);
  ~EngineUse();
  EngineUse(const EngineUse&) = delete;
  EngineUse& operator=(const EngineUse&) = delete;
  bool Loaded() const;

 private:
  TZipBuilder& owner_;
  EngineKind kind_;
  bool loadedHere_ = false;
};
