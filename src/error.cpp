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
  std::string text = "malformed Link header: ";
  text += detail_;
  return text;
}

}  // namespace provlink
