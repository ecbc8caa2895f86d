#include "error.hpp"

namespace provlink {

std::string Error::text() const {
  switch (kind_) {
    case Kind::NotFound:
      return "no c2pa-manifest Link header found";
    case Kind::Ambiguous:
      return "more than one c2pa-manifest target was advertised";
    case Kind::Malformed:
      break;
  }
  constexpr std::string_view prefix = "malformed Link header: ";
  // Sized first, which also spares GCC 12 a false -Wrestrict at -O3.
  std::string text;
  text.reserve(prefix.size() + detail_.size());
  text.append(prefix).append(detail_);
  return text;
}

}  // namespace provlink
