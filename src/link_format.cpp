#include <algorithm>
#include <memory>

#include "link.hpp"
#include "scan.hpp"
#include "text.hpp"

namespace provlink {
namespace {

constexpr std::string_view kEmptyTarget = "target URI is empty";
constexpr std::string_view kNeedsEncoding =
    "target URI contains characters that a URI must percent-encode";

constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::string_view kBeforeRel = ">; rel=\"";

// The length of `uri` once encoded, when its first `literal` bytes need no
// escape: every escaped byte takes three.
std::size_t encoded_size(std::string_view uri, std::size_t literal) {
  std::size_t size = uri.size();
  for (const char c : slice(uri, literal)) size += is_uri_literal(c) ? 0 : 2;
  return size;
}

// Writes `uri` encoded at `out`, its first `literal` bytes as they are.
char* write_encoded(char* out, std::string_view uri, std::size_t literal) {
  out = std::copy_n(uri.data(), literal, out);
  for (const char c : slice(uri, literal)) {
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
// written by `write_target(out)`.
template <class WriteTarget>
std::string_view header_value(OutputBuffer& buffer, std::size_t target_size, WriteTarget write_target) {
  const std::size_t size = 1 + target_size + kBeforeRel.size() + kManifestRel.size() + 1;
  char* const value = buffer.reserve(size);
  char* out = value;
  *out++ = '<';
  out = write_target(out);
  out = std::copy(kBeforeRel.begin(), kBeforeRel.end(), out);
  out = std::copy(kManifestRel.begin(), kManifestRel.end(), out);
  *out = '"';
  return {value, size};
}

}  // namespace

char* OutputBuffer::reserve(std::size_t size) {
  if (size <= kInline) return inline_;
  heap_ = std::make_unique_for_overwrite<char[]>(size);
  return heap_.get();
}

std::string_view encode_target(std::string_view uri, OutputBuffer& out) {
  const std::size_t literal = literal_prefix(uri);
  const std::size_t size = encoded_size(uri, literal);
  char* const encoded = out.reserve(size);
  write_encoded(encoded, uri, literal);
  return {encoded, size};
}

Result<std::string_view, Error> format(std::string_view uri, OutputBuffer& out) {
  if (uri.empty()) return Error::malformed(kEmptyTarget);
  const std::size_t literal = literal_prefix(uri);
  return header_value(out, encoded_size(uri, literal), [uri, literal](char* to) { return write_encoded(to, uri, literal); });
}

Result<std::string_view, Error> format_strict(std::string_view uri, OutputBuffer& out) {
  if (uri.empty()) return Error::malformed(kEmptyTarget);
  if (literal_prefix(uri) != uri.size()) return Error::malformed(kNeedsEncoding);
  return header_value(out, uri.size(), [uri](char* to) { return std::copy(uri.begin(), uri.end(), to); });
}

}  // namespace provlink
