// Formatting a removable disk before its volume is written.
#include "ZipBuilder.h"

int TZipBuilder::ZipFormat() { return -3; }  // replaced by the format worker
