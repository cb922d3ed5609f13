#include "zipformat/Methods.h"

namespace zip {

std::string MethodName(uint16_t method) {
  if (method >= kMethodReducedFirst && method <= kMethodReducedLast) return "Reduced";
  switch (method) {
    case kMethodStored:
      return "Stored";
    case kMethodShrunk:
      return "Shrunk";
    case kMethodImploded:
      return "Implode";
    case kMethodDeflate:
      return "Deflate";
    case kMethodDeflate64:
      return "Defl64";
    case kMethodBzip2:
      return "BZip2";
    case kMethodLzma:
      return "LZMA";
    case kMethodZstd:
      return "Zstd";
    case kMethodXz:
      return "XZ";
    case kMethodAes:
      return "AES";
    default:
      return "M" + std::to_string(method);
  }
}

}  // namespace zip
