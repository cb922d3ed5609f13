#include "zipformat/Status.h"

namespace zip {

const char* Describe(Status status) {
  switch (status) {
    case Status::kOk:
      return "no error";
    case Status::kTruncated:
      return "record cut short";
    case Status::kBadSignature:
      return "wrong record signature";
    case Status::kVariableTruncated:
      return "name, extra field or comment runs past its record";
    case Status::kBadZip64:
      return "ZIP64 value missing";
    case Status::kBadExtraField:
      return "damaged extra field";
    case Status::kNotFound:
      return "record not found";
  }
  return "unknown error";
}

}  // namespace zip
