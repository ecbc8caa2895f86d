// The choice of the one advertised manifest link across header values.

#include "link.hpp"

namespace provlink {

bool ManifestChoice::read_value(std::string_view value) {
  return read_manifest_links(value, [this](const ManifestLink& link) {
    if (!chosen_) {
      chosen_ = link;
      return true;
    }
    ambiguous_ = link != *chosen_;
    return !ambiguous_;
  });
}

std::optional<Error> ManifestChoice::error() const noexcept {
  if (ambiguous_) return Error::ambiguous();
  if (!chosen_) return Error::not_found();
  return std::nullopt;
}

}  // namespace provlink
