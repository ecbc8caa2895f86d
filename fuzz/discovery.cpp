// Fuzzes the reading of Link header values. The input is several header
// values separated by 0xFF, a byte that never occurs in UTF-8.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "link.hpp"
#include "text.hpp"

using provlink::ManifestLink;

namespace {

std::vector<std::string_view> split_values(std::string_view input) {
  std::vector<std::string_view> values;
  for (std::size_t start = 0;;) {
    const std::size_t end = input.find('\xff', start);
    values.push_back(input.substr(start, end - start));
    if (end == std::string_view::npos) return values;
    start = end + 1;
  }
}

void check_record(const ManifestLink& link, std::span<const std::string_view> values, bool utf8) {
  FUZZ_CHECK(!link.uri.empty());
  FUZZ_CHECK(!link.jumbf || !link.jumbf->empty());
  // The uri is the trimmed target, or for a JUMBF reference its part before
  // "#" followed by "#jumbf=" and the reference.
  std::string_view written = link.uri;
  if (link.jumbf) {
    const std::string suffix = "#jumbf=" + *link.jumbf;
    FUZZ_CHECK(written.ends_with(suffix));
    FUZZ_CHECK(link.jumbf->find('/') == std::string::npos);
    written.remove_suffix(suffix.size());
    FUZZ_CHECK(written.find('#') == std::string_view::npos);
  }
  FUZZ_CHECK(std::any_of(values.begin(), values.end(),
                         [&](std::string_view value) { return value.find(written) != std::string_view::npos; }));
  // Pieces are cut at ASCII bytes and whole White_Space characters, so text
  // that came in as UTF-8 goes out as UTF-8.
  if (utf8) FUZZ_CHECK(is_utf8(link.uri) && (!link.jumbf || is_utf8(*link.jumbf)));
}

// The block of this build answers as the plain block does, on windows all
// over the input.
void check_blocks(std::string_view text) {
  for (std::size_t at = 0; at + 16 <= text.size(); at += 1 + at / 8) {
    const auto native = provlink::Block16::load(text.data() + at);
    const auto plain = provlink::plain::Block16::load(text.data() + at);
    const char c = text[at];
    FUZZ_CHECK(native.eq(c).mask() == plain.eq(c).mask());
    FUZZ_CHECK(native.folded().eq('c').mask() == plain.folded().eq('c').mask());
    FUZZ_CHECK((native.eq('<') | native.eq(c)).mask() == (plain.eq('<') | plain.eq(c)).mask());
    FUZZ_CHECK((native.folded() & native.eq(c)).mask() == (plain.folded() & plain.eq(c)).mask());
    FUZZ_CHECK(native.mask() == plain.mask());
  }
}

// find_byte agrees with a byte-by-byte search and with the plain block, from
// anywhere, including the last bytes that a sixteen-byte block cannot start at.
void check_find_byte(std::string_view text) {
  const auto naive = [text](std::size_t from) {
    for (std::size_t i = from; i < text.size(); ++i) {
      if (text[i] == '"' || text[i] == '<' || text[i] == '>' || text[i] == ',') return i;
    }
    return text.size();
  };
  for (std::size_t from = 0; from <= text.size(); from += 1 + from / 8) {
    const std::size_t found = provlink::find_byte<'"', '<', '>', ','>(text, from);
    FUZZ_CHECK(found == naive(from));
    FUZZ_CHECK((provlink::find_byte_in_blocks<provlink::plain::Block16, '"', '<', '>', ','>(text, from)) == found);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_blocks(input);
  check_find_byte(input);
  const std::vector<std::string_view> values = split_values(input);
  const std::vector<ManifestLink> links = provlink::locate_all(values);

  const bool utf8 = std::all_of(values.begin(), values.end(), is_utf8);
  for (const ManifestLink& link : links) check_record(link, values, utf8);

  // No state carries from one header value to the next.
  const std::span<const std::string_view> all(values);
  const std::size_t half = values.size() / 2;
  std::vector<ManifestLink> joined = provlink::locate_all(all.first(half));
  const std::vector<ManifestLink> rest = provlink::locate_all(all.subspan(half));
  joined.insert(joined.end(), rest.begin(), rest.end());
  FUZZ_CHECK(joined == links);

  // extract is locate_all with runs of equal neighbours collapsed.
  std::vector<ManifestLink> kept = links;
  kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
  const auto chosen = provlink::extract(values);
  if (kept.size() == 1) {
    FUZZ_CHECK(chosen && *chosen == kept.front());
  } else {
    FUZZ_CHECK(!chosen);
    FUZZ_CHECK(chosen.error() == (kept.empty() ? provlink::Error::not_found() : provlink::Error::ambiguous()));
  }
  return 0;
}
