#pragma once

// The core: reading and writing the Link header values that advertise a C2PA
// Manifest Store. Plain text in, values or an Error out; no interpreter here.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "result.hpp"

namespace provlink {

// The link relation read and written by this module.
inline constexpr std::string_view kManifestRel = "c2pa-manifest";

// `uri` with every byte that may not stand literally in a URI reference
// percent-encoded; "%" is kept, so encoding is idempotent.
std::string encode_target(std::string_view uri);

// A Link header value advertising `uri`, encoded as by encode_target.
Result<std::string, Error> format(std::string_view uri);

// As format, but refusing a target that would need encoding.
Result<std::string, Error> format_strict(std::string_view uri);

}  // namespace provlink
