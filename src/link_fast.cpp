// The fast ways of reading a Link header value, besides the general reader.
// Each takes a shape of input that its comment names, says why it gives the
// general reader's answer there, and is fuzzed against it.

#include <optional>

#include "check.hpp"
#include "link_read.hpp"
#include "scan.hpp"
#include "text.hpp"
#include "top_level.hpp"

namespace provlink {

// The shape nearly every manifest link comes in, the one format writes:
// `<target>; rel="c2pa-manifest"` alone, or with the relation unquoted. Read
// from the end, so that other values are passed on at once.
//
// The general reader's answer is the same where the target holds no double
// quote or ">" and no white space at either end: then the value is one
// link-value, since the bytes outside the brackets hold no comma and the
// bracketed ones do not separate; its target is the text between the "<"
// and the one ">", with nothing to trim; and its one parameter is rel,
// c2pa-manifest.
std::optional<ManifestLink> read_written_shape(std::string_view value) {
  constexpr std::string_view before_rel = ">; rel=";
  std::string_view rest = value;
  const bool quoted = rest.ends_with('"');
  if (quoted) rest.remove_suffix(1);
  if (!rest.ends_with(kManifestRel)) return std::nullopt;
  rest.remove_suffix(kManifestRel.size());
  if (quoted) {
    if (!rest.ends_with('"')) return std::nullopt;
    rest.remove_suffix(1);
  }
  if (!rest.ends_with(before_rel) || !rest.starts_with('<')) return std::nullopt;
  const std::string_view target = slice(rest, 1, rest.size() - before_rel.size());
  if (target.empty() || white_space_length(target) != 0 || trailing_white_space_length(target) != 0 ||
      find_byte<'"', '>'>(target, 0) != npos) {
    return std::nullopt;
  }
  return link_from_target(target);
}

namespace {

// The bytes of the common shape (read_common_link_value) are the plain ones,
// and spaces and tabs.
constexpr ByteClass is_ows = ByteClass::of([](unsigned char b) { return b == ' ' || b == '\t'; });
constexpr ByteClass is_name_byte = ByteClass::of([](unsigned char b) {
  return is_plain(static_cast<char>(b)) && b != ';' && b != ',' && b != '=';
});
constexpr ByteClass is_token_byte = ByteClass::of([](unsigned char b) {
  return (is_plain(static_cast<char>(b)) && b != ';' && b != ',') || is_ows(static_cast<char>(b));
});
// A target is read up to its first "#", which may start a JUMBF reference.
constexpr ByteClass is_plain_but_hash =
    ByteClass::of([](unsigned char b) { return is_plain(static_cast<char>(b)) && b != '#'; });

// What one link-value of the common shape says: its target (empty for an
// empty link-value), whether the target has a "#", and the value of its
// first "rel" parameter.
struct CommonLinkValue {
  std::string_view target;
  bool fragment = false;
  std::optional<std::string_view> rel;
};

// Reads the link-value of the common shape that starts at `at`, and leaves
// `at` at the comma that ends it or at the end of the text:
//   OWS [ "<" target ">" *( OWS ";" OWS [ name OWS [ "=" OWS value ] ] ) OWS ]
// OWS being spaces and tabs, the target plain bytes, and a value a token or a
// quoted string without backslash. False for any other shape.
//
// The general reader's answer is the same: quotes stand only in pairs around
// quoted strings and angle brackets only around the target, so the comma and
// the semicolons met here are the top-level ones that split_top_level finds.
// Trimming a piece removes just the spaces and tabs skipped here, as the bytes
// beside them are visible. The target holds no whitespace, a name no "=", a
// quoted string no escape, and a token no quote, so the name, the target and
// the unquoted value are those read here.
bool read_common_link_value(std::string_view text, std::size_t& at, CommonLinkValue& link) {
  const auto run_of = [&text, &at](const ByteClass& member) {
    const std::size_t from = at;
    while (at < text.size() && member(text[at])) ++at;
    return slice(text, from, at);
  };
  const auto at_end = [&text, &at] { return at == text.size() || text[at] == ','; };
  link = {};
  run_of(is_ows);
  if (at_end()) return true;
  if (text[at] != '<') return false;
  const std::size_t start = at + 1;
  at = class_run_end<is_plain_but_hash>(text, start);
  if (at < text.size() && text[at] == '#') {
    link.fragment = true;
    at = class_run_end<is_plain>(text, at);
  }
  link.target = slice(text, start, at);
  if (link.target.empty() || at == text.size() || text[at] != '>') return false;
  ++at;
  for (;;) {
    run_of(is_ows);
    if (at_end()) return true;
    if (text[at] != ';') return false;
    ++at;
    run_of(is_ows);
    if (at_end() || text[at] == ';') continue;
    const std::string_view name = run_of(is_name_byte);
    if (name.empty()) return false;
    run_of(is_ows);
    std::string_view value;
    if (at < text.size() && text[at] == '=') {
      ++at;
      run_of(is_ows);
      if (at < text.size() && text[at] == '"') {
        const std::size_t close = find_byte<'"', '\\'>(text, at + 1);
        if (close == npos || text[close] == '\\') return false;
        value = slice(text, at + 1, close);
        at = close + 1;
      } else {
        value = run_of(is_token_byte);
        while (!value.empty() && is_ows(value.back())) value.remove_suffix(1);
      }
    }
    if (!link.rel && equals_ascii_folded(name, "rel")) link.rel = value;
  }
}

// Hands the link of a link-value of the common shape to `found` if it is a
// manifest link; false when `found` says to stop.
bool hand_over(const CommonLinkValue& link, LinkSink found) {
  // The usual relation list is c2pa-manifest alone, which
  // equals_manifest_rel reads as has_manifest_rel would.
  const bool manifest = link.rel && (equals_manifest_rel(*link.rel) || has_manifest_rel(*link.rel));
  if (link.target.empty() || !manifest) return true;
  // Without a "#" there is no JUMBF reference to look for.
  return found(link.fragment ? link_from_target(link.target) : ManifestLink(link.target, std::nullopt));
}

// Reads the link-value that holds c2pa-manifest at `rel`, in a value without
// backslashes in which a link-value starts at `from`, at or before `rel`:
// hands its link to `found` if it advertises one, and returns where it ends
// (its top-level comma, or the end of the value), or nothing once `found`
// says to stop.
std::optional<std::size_t> read_link_value_at(std::string_view value, std::size_t from, std::size_t rel,
                                              LinkSink found) {
  const auto handed_over = [&found](const CommonLinkValue& link, std::size_t end) -> std::optional<std::size_t> {
    if (!hand_over(link, found)) return std::nullopt;
    return end;
  };
  CommonLinkValue link;
  // The link-value at `from` often holds it (a long target, or links close
  // together): it is tried first, in one pass.
  if (std::size_t end = from; read_common_link_value(value, end, link)) {
    if (end > rel) return handed_over(link, end);
    from = end + 1;  // it ended before `rel`; the next one starts after its comma
  }
  const LinkValueStart start = link_value_start(value, from, rel);
  if (std::size_t end = start.start; read_common_link_value(value, end, link)) return handed_over(link, end);
  const std::size_t end = link_value_end(value, rel, start.nesting);
  const auto general = read_link_value(trim(slice(value, start.start, end)));
  if (general && !found(*general)) return std::nullopt;
  return end;
}

}  // namespace

bool read_common_shape(std::string_view value, LinkSink found) {
  for (std::size_t at = 0;; ++at) {
    const std::size_t start = at;
    CommonLinkValue link;
    // A link-value starts clean after a top-level comma, so the general
    // reader takes over from there as if it had read from the start.
    if (!read_common_link_value(value, at, link)) return read_generally(slice(value, start), found);
    if (!hand_over(link, found)) return false;
    if (at == value.size()) return true;
  }
}

// A link-value in which c2pa-manifest does not occur cannot advertise a
// manifest (see read_manifest_links), so only those that hold it are read,
// each found from an occurrence by the walks of top_level.hpp.
bool read_around_manifest_rel(std::string_view value, std::size_t first, LinkSink found) {
  PROVLINK_ASSERT(value.find('\\') == npos);
  PROVLINK_ASSERT(first == find_manifest_rel_or_backslash(value, 0));
  std::size_t from = 0;  // where a link-value starts
  for (std::size_t rel = first; rel != npos; rel = find_manifest_rel_or_backslash(value, from)) {
    const auto end = read_link_value_at(value, from, rel, found);
    if (!end) return false;
    if (*end == value.size()) return true;
    from = *end + 1;
  }
  return true;
}

}  // namespace provlink
