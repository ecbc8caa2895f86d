// Fuzzes percent-encoding and the writing of header values, and reads every
// written value back.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.hpp"
#include "link.hpp"
#include "scan.hpp"
#include "text.hpp"

namespace {

constexpr std::string_view kSuffix = ">; rel=\"c2pa-manifest\"";

bool all_literal(std::string_view text) { return std::all_of(text.begin(), text.end(), provlink::is_uri_literal); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view uri(reinterpret_cast<const char*>(data), size);

  // The literal prefix, found with the block of this build, with the plain
  // block and byte by byte.
  const std::size_t literal = provlink::literal_prefix(uri);
  FUZZ_CHECK(literal == static_cast<std::size_t>(std::find_if_not(uri.begin(), uri.end(), provlink::is_uri_literal) - uri.begin()));
  FUZZ_CHECK(provlink::literal_prefix_in_blocks<provlink::plain::Block16>(uri) == literal);

  provlink::OutputBuffer encoded_buffer;
  provlink::OutputBuffer again_buffer;
  const std::string_view encoded = provlink::encode_target(uri, encoded_buffer);
  const auto escaped = static_cast<std::size_t>(std::count_if(uri.begin(), uri.end(), [](char c) {
    return !provlink::is_uri_literal(c);
  }));
  FUZZ_CHECK(all_literal(encoded));
  FUZZ_CHECK(encoded.size() == uri.size() + 2 * escaped);
  FUZZ_CHECK(provlink::encode_target(encoded, again_buffer) == encoded);
  if (escaped == 0) FUZZ_CHECK(encoded == uri);

  provlink::OutputBuffer value_buffer;
  provlink::OutputBuffer strict_buffer;
  const auto value = provlink::format(uri, value_buffer);
  const auto strict = provlink::format_strict(uri, strict_buffer);
  if (uri.empty()) {
    const auto empty = provlink::Error::malformed("target URI is empty");
    FUZZ_CHECK(!value && value.error().text() == empty.text());
    FUZZ_CHECK(!strict && strict.error().text() == empty.text());
    return 0;
  }
  FUZZ_CHECK(value);
  // Appended, which spares GCC 12 a false -Wrestrict at -O3.
  std::string expected = "<";
  expected.append(encoded).append(kSuffix);
  FUZZ_CHECK(*value == expected);
  FUZZ_CHECK(std::all_of(value->begin(), value->end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80 && c != '\r' && c != '\n';
  }));
  FUZZ_CHECK(static_cast<bool>(strict) == (escaped == 0));
  if (strict) {
    FUZZ_CHECK(*strict == *value);
  } else {
    FUZZ_CHECK(strict.error().text() ==
               "malformed Link header: target URI contains characters that a URI must percent-encode");
  }

  // What is written reads back as the one advertised link.
  const std::string_view written[] = {*value};
  const auto found = provlink::extract(written);
  FUZZ_CHECK(found);
  if (uri.find('#') == std::string_view::npos) FUZZ_CHECK(found->uri() == encoded && !found->jumbf());
  return 0;
}
