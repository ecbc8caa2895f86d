#include <algorithm>

#include "link.hpp"
#include "text.hpp"

namespace provlink {
namespace {

constexpr std::string_view kEmptyTarget = "target URI is empty";
constexpr std::string_view kNeedsEncoding =
    "target URI contains characters that a URI must percent-encode";

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

void append_encoded(std::string& out, std::string_view uri) {
  for (const char c : uri) {
    if (is_uri_literal(c)) {
      out += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      const char escape[3] = {'%', kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
      out.append(escape, 3);
    }
  }
}

// `<target>; rel="c2pa-manifest"`, with the target written by `write`.
template <class WriteTarget>
std::string header_value(std::size_t target_size, WriteTarget write) {
  constexpr std::string_view before = "<";
  constexpr std::string_view after = ">; rel=\"";
  std::string value;
  value.reserve(before.size() + target_size + after.size() + kManifestRel.size() + 1);
  value += before;
  write(value);
  value += after;
  value += kManifestRel;
  value += '"';
  return value;
}

}  // namespace

std::string encode_target(std::string_view uri) {
  std::string out;
  if (uri.empty()) return out;
  out.reserve(uri.size());
  append_encoded(out, uri);
  return out;
}

Result<std::string, Error> format(std::string_view uri) {
  if (uri.empty()) return Error::malformed(kEmptyTarget);
  return header_value(uri.size(), [uri](std::string& out) { append_encoded(out, uri); });
}

Result<std::string, Error> format_strict(std::string_view uri) {
  if (uri.empty()) return Error::malformed(kEmptyTarget);
  if (!std::all_of(uri.begin(), uri.end(), is_uri_literal)) return Error::malformed(kNeedsEncoding);
  return header_value(uri.size(), [uri](std::string& out) { out += uri; });
}

}  // namespace provlink
