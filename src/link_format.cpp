#include <algorithm>

#include "link.hpp"
#include "text.hpp"

namespace provlink {
namespace {

constexpr std::string_view kEmptyTarget = "target URI is empty";
constexpr std::string_view kNeedsEncoding =
    "target URI contains characters that a URI must percent-encode";

constexpr std::string_view kHexDigits = "0123456789ABCDEF";

// The length of `uri` once encoded: every escaped byte takes three.
std::size_t encoded_size(std::string_view uri) {
  std::size_t size = uri.size();
  for (const char c : uri) size += is_uri_literal(c) ? 0 : 2;
  return size;
}

// Writes `uri` encoded at `out`, which has room for its `size` encoded bytes.
char* write_encoded(char* out, std::string_view uri, std::size_t size) {
  if (size == uri.size()) return std::copy(uri.begin(), uri.end(), out);  // nothing to escape
  for (const char c : uri) {
    if (is_uri_literal(c)) {
      *out++ = c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      *out++ = '%';
      *out++ = kHexDigits[b >> 4];
      *out++ = kHexDigits[b & 0x0F];
    }
  }
  return out;
}

// `<target>; rel="c2pa-manifest"`, with a target of `target_size` bytes
// written by `write_target(out)`. Sized once, so built in one allocation.
template <class WriteTarget>
std::string header_value(std::size_t target_size, WriteTarget write_target) {
  constexpr std::string_view after = ">; rel=\"";
  std::string value(1 + target_size + after.size() + kManifestRel.size() + 1, '\0');
  char* out = value.data();
  *out++ = '<';
  out = write_target(out);
  out = std::copy(after.begin(), after.end(), out);
  out = std::copy(kManifestRel.begin(), kManifestRel.end(), out);
  *out = '"';
  return value;
}

}  // namespace

std::string encode_target(std::string_view uri) {
  std::string out(encoded_size(uri), '\0');
  write_encoded(out.data(), uri, out.size());
  return out;
}

Result<std::string, Error> format(std::string_view uri) {
  if (uri.empty()) return Error::malformed(kEmptyTarget);
  const std::size_t size = encoded_size(uri);
  return header_value(size, [uri, size](char* out) { return write_encoded(out, uri, size); });
}

Result<std::string, Error> format_strict(std::string_view uri) {
  if (uri.empty()) return Error::malformed(kEmptyTarget);
  if (!std::all_of(uri.begin(), uri.end(), is_uri_literal)) return Error::malformed(kNeedsEncoding);
  return header_value(uri.size(), [uri](char* out) { return std::copy(uri.begin(), uri.end(), out); });
}

}  // namespace provlink
