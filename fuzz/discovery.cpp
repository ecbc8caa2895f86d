// Fuzzes the reading of Link header values. The input is several header
// values separated by 0xFF, a byte that never occurs in UTF-8. Besides the
// properties of what is read, every fast way of reading must give the general
// reader's answer, and every scan the same answer with the block of this
// build, with the plain block and byte by byte.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_check.hpp"
#include "link.hpp"
#include "link_read.hpp"
#include "scan.hpp"
#include "text.hpp"
#include "top_level.hpp"

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
  FUZZ_CHECK(!link.uri().empty());
  FUZZ_CHECK(!link.jumbf() || !link.jumbf()->empty());
  // The uri is the trimmed target, or for a JUMBF reference its part before
  // "#" followed by "#jumbf=" and the reference.
  std::string_view written = link.uri();
  if (link.jumbf()) {
    const std::string suffix = "#jumbf=" + std::string(*link.jumbf());
    FUZZ_CHECK(written.ends_with(suffix));
    FUZZ_CHECK(link.jumbf()->find('/') == std::string::npos);
    written.remove_suffix(suffix.size());
    FUZZ_CHECK(written.find('#') == std::string_view::npos);
  }
  FUZZ_CHECK(std::any_of(values.begin(), values.end(),
                         [&](std::string_view value) { return value.find(written) != std::string_view::npos; }));
  // Pieces are cut at ASCII bytes and whole White_Space characters, so text
  // that came in as UTF-8 goes out as UTF-8.
  if (utf8) FUZZ_CHECK(is_utf8(link.uri()) && (!link.jumbf() || is_utf8(*link.jumbf())));
}

// The block of this build answers as the plain block does, on windows all
// over the input.
void check_blocks(std::string_view text) {
  for (std::size_t at = 0; at + 16 <= text.size(); at += 1 + at / 8) {
    const auto native = provlink::Block16::load(text.data() + at);
    const auto plain = provlink::plain::Block16::load(text.data() + at);
    const char c = text[at];
    FUZZ_CHECK(native.eq(c).mask() == plain.eq(c).mask());
    FUZZ_CHECK(native.gt(static_cast<signed char>(c)).mask() == plain.gt(static_cast<signed char>(c)).mask());
    FUZZ_CHECK((native.eq('<') | native.eq(c)).mask() == (plain.eq('<') | plain.eq(c)).mask());
    FUZZ_CHECK((native.gt(0x20) & native.eq(c)).mask() == (plain.gt(0x20) & plain.eq(c)).mask());
  }
}

// For every position, the first position at or after it where `found` holds,
// found byte by byte; npos where there is none.
template <class Found>
std::vector<std::size_t> naive_next(std::string_view text, Found found) {
  std::vector<std::size_t> next(text.size() + 1, provlink::npos);
  for (std::size_t i = text.size(); i-- > 0;) next[i] = found(i) ? i : next[i + 1];
  return next;
}

void check_scans(std::string_view text) {
  using provlink::plain::Block16;
  const std::vector<std::size_t> next_byte = naive_next(text, [text](std::size_t i) {
    return text[i] == '"' || text[i] == '<' || text[i] == '>' || text[i] == ',';
  });
  const std::vector<std::size_t> next_event = naive_next(text, [text](std::size_t i) {
    return text[i] == '\\' || provlink::equals_ascii_folded(text.substr(i, 13), provlink::kManifestRel);
  });
  for (std::size_t from = 0; from <= text.size(); from += 1 + from / 8) {
    const std::size_t byte = provlink::find_byte<'"', '<', '>', ','>(text, from);
    FUZZ_CHECK(byte == next_byte[from]);
    FUZZ_CHECK((provlink::find_byte_in_blocks<Block16, '"', '<', '>', ','>(text, from)) == byte);

    const std::size_t event = provlink::find_manifest_rel_or_backslash(text, from);
    FUZZ_CHECK(event == next_event[from]);
    FUZZ_CHECK(provlink::find_manifest_rel_or_backslash_in_blocks<Block16>(text, from) == event);

    const std::size_t plain_end = provlink::class_run_end<provlink::is_plain>(text, from);
    FUZZ_CHECK(plain_end == static_cast<std::size_t>(
                                std::find_if_not(text.begin() + from, text.end(), provlink::is_plain) - text.begin()));
    FUZZ_CHECK((provlink::class_run_end_in_blocks<Block16, provlink::is_plain>(text, from)) == plain_end);

    const std::size_t to = from + (text.size() - from) / 2;
    std::size_t last = provlink::npos;
    for (std::size_t i = from; i < to; ++i) {
      if (text[i] == '"' || text[i] == '<' || text[i] == '>' || text[i] == ',') last = i;
    }
    FUZZ_CHECK((provlink::find_last_byte<'"', '<', '>', ','>(text, from, to)) == last);
    FUZZ_CHECK((provlink::find_last_byte_in_blocks<Block16, '"', '<', '>', ','>(text, from, to)) == last);

    const bool odd = provlink::odd_quotes(text, from, to);
    FUZZ_CHECK(odd == (std::count(text.begin() + from, text.begin() + to, '"') % 2 != 0));
    FUZZ_CHECK(provlink::odd_quotes_in_blocks<Block16>(text, from, to) == odd);
  }
}

std::vector<ManifestLink> read_with(bool (*reader)(std::string_view, provlink::LinkSink), std::string_view value) {
  std::vector<ManifestLink> links;
  reader(value, [&links](const ManifestLink& link) {
    links.push_back(link);
    return true;
  });
  return links;
}

// The walks from a position find the top-level commas that split_top_level
// finds, and the nesting that a reading from the link-value's start has
// there; at positions all over a value without backslashes, and from each
// of the link-value starts that a walk may be given.
void check_walks(std::string_view value) {
  std::vector<std::size_t> starts;
  auto pieces = provlink::split_top_level<','>(value);
  for (std::string_view piece; pieces.next(piece);) {
    starts.push_back(static_cast<std::size_t>(piece.data() - value.data()));
  }
  provlink::Nesting nesting;
  std::size_t k = 0;
  for (std::size_t at = 0, checked = 0; at <= value.size(); ++at) {
    if (k + 1 < starts.size() && at == starts[k + 1]) {
      ++k;
      nesting = {};
    }
    if (at == checked) {
      checked += 1 + checked / 8;
      const std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 1 : value.size();
      for (const std::size_t from : {starts.front(), starts[k > 0 ? k - 1 : 0], starts[k]}) {
        const provlink::LinkValueStart start = provlink::link_value_start(value, from, at);
        FUZZ_CHECK(start.start == starts[k]);
        FUZZ_CHECK(start.nesting == nesting);
        FUZZ_CHECK(provlink::link_value_end(value, at, start.nesting) == end);
      }
    }
    if (at < value.size() && (value[at] == '"' || value[at] == '<' || value[at] == '>')) nesting.take(value[at]);
  }
}

// Every way of reading a value gives the general reader's links.
void check_readers(std::string_view value) {
  const std::vector<ManifestLink> general = read_with(provlink::read_generally, value);
  FUZZ_CHECK(read_with(provlink::read_manifest_links, value) == general);
  if (const auto written = provlink::read_written_shape(value)) FUZZ_CHECK(general == std::vector{*written});
  if (value.find('\\') != provlink::npos) return;
  check_walks(value);
  FUZZ_CHECK(read_with(provlink::read_common_shape, value) == general);
  const auto read_around_manifest_rel = [](std::string_view text, provlink::LinkSink found) {
    return provlink::read_around_manifest_rel(text, provlink::find_manifest_rel_or_backslash(text, 0), found);
  };
  FUZZ_CHECK(read_with(read_around_manifest_rel, value) == general);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_blocks(input);
  check_scans(input);
  const std::vector<std::string_view> values = split_values(input);
  for (const std::string_view value : values) check_readers(value);
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
