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

// One advertised manifest link.
struct ManifestLink {
  std::string uri;                   // never empty
  std::optional<std::string> jumbf;  // the JUMBF reference from a "#jumbf=" fragment; never empty

  friend bool operator==(const ManifestLink&, const ManifestLink&) = default;
};

// Every "c2pa-manifest" link across the given Link header values, in order of
// appearance. Text that cannot be read as such a link is passed over.
std::vector<ManifestLink> locate_all(std::span<const std::string_view> values);

// The single advertised manifest link: NotFound when there is none, Ambiguous
// when different links compete (repeats of one link collapse when adjacent).
Result<ManifestLink, Error> extract(std::span<const std::string_view> values);

// `uri` with every byte that may not stand literally in a URI reference
// percent-encoded; "%" is kept, so encoding is idempotent.
std::string encode_target(std::string_view uri);

// A Link header value advertising `uri`, encoded as by encode_target.
Result<std::string, Error> format(std::string_view uri);

// As format, but refusing a target that would need encoding.
Result<std::string, Error> format_strict(std::string_view uri);

}  // namespace provlink
