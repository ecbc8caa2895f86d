#pragma once

// The core: reading and writing the Link header values that advertise a C2PA
// Manifest Store. Plain text in, values or an Error out; no interpreter here.

#include <functional>
#include <optional>
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

// Hands every "c2pa-manifest" link of one Link header value to `found`, in
// order of appearance, until `found` returns false; false when it did. Text
// that cannot be read as such a link is passed over.
bool read_manifest_links(std::string_view value, const std::function<bool(ManifestLink&&)>& found);

// Every "c2pa-manifest" link across the given Link header values (a range of
// text that converts to std::string_view), in order of appearance. No state
// carries from one value to the next.
template <class Values>
std::vector<ManifestLink> locate_all(const Values& values) {
  std::vector<ManifestLink> links;
  for (const std::string_view value : values) {
    read_manifest_links(value, [&links](ManifestLink&& link) {
      links.push_back(std::move(link));
      return true;
    });
  }
  return links;
}

// The choice of the one advertised link, made while header values are read:
// runs of one link collapse, and a link that differs from the first leaves
// two that compete, which no later value can undo.
class ManifestChoice {
 public:
  // Reads the links of one header value; false once links compete.
  bool read(std::string_view value);
  // The link, NotFound when none was read, or Ambiguous.
  Result<ManifestLink, Error> result() &&;

 private:
  std::optional<ManifestLink> chosen_;
  bool ambiguous_ = false;
};

// The single advertised manifest link: NotFound when there is none, Ambiguous
// when different links compete (repeats of one link collapse when adjacent).
template <class Values>
Result<ManifestLink, Error> extract(const Values& values) {
  ManifestChoice choice;
  for (const std::string_view value : values) {
    if (!choice.read(value)) break;
  }
  return std::move(choice).result();
}

// `uri` with every byte that may not stand literally in a URI reference
// percent-encoded; "%" is kept, so encoding is idempotent.
std::string encode_target(std::string_view uri);

// A Link header value advertising `uri`, encoded as by encode_target.
Result<std::string, Error> format(std::string_view uri);

// As format, but refusing a target that would need encoding.
Result<std::string, Error> format_strict(std::string_view uri);

}  // namespace provlink
