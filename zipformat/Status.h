// What a decoder found wrong with the bytes it was given. The decoders never
// throw; each caller turns a status into its own error or message.
#pragma once

namespace zip {

enum class Status {
  kOk,
  kTruncated,          // the fixed part does not fit in the bytes given
  kBadSignature,       // the record's signature is not the expected one
  kVariableTruncated,  // name, extra field or comment runs past the bytes given
  kBadZip64,           // a saturated field without its ZIP64 value
  kBadExtraField,      // an extra field whose length runs past the extra area
  kNotFound,           // no record of the kind searched for
};

// A short English description of `status`, for engine messages and logs.
const char* Describe(Status status);

}  // namespace zip
