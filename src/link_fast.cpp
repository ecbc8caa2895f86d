// The reader that picks the way to read a Link header value, and the fast
// ways besides the general reader. Each fast way takes a shape of input that
// its comment names, says why it gives the general reader's answer there, and
// is fuzzed against it.

#include <optional>
#include <utility>

#include "link_read.hpp"
#include "scan.hpp"
#include "text.hpp"

namespace provlink {
namespace {

// From this size on, a value in which "c2pa-manifest" occurs is split a block
// at a time and only the link-values holding the word are read.
constexpr std::size_t kLongValue = 512;

// The bytes of the common shape (read_common_link_value): printable ASCII
// less quote, angle brackets and backslash, which change how a value is read
// (the target's bytes), and less the separators that end each part.
constexpr bool is_plain(unsigned char b) { return b > 0x20 && b < 0x7F && b != '"' && b != '<' && b != '>' && b != '\\'; }
constexpr ByteClass is_ows = ByteClass::of([](unsigned char b) { return b == ' ' || b == '\t'; });
constexpr ByteClass is_name_byte = ByteClass::of([](unsigned char b) { return is_plain(b) && b != ';' && b != ',' && b != '='; });
constexpr ByteClass is_token_byte = ByteClass::of([](unsigned char b) { return (is_plain(b) && b != ';' && b != ',') || b == ' ' || b == '\t'; });

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
// OWS being spaces and tabs, and a value a token or a quoted string without
// backslash. False for any other shape.
//
// The general reader's answer is the same: quotes stand only in pairs around
// quoted strings and angle brackets only around the target, so the comma and
// the semicolons met here are the top-level ones that split_top_level finds.
// Trimming a piece removes just the spaces and tabs skipped here, as the bytes
// beside them are printable. The target holds no whitespace, a name no "=",
// a quoted string no escape, and a token no
// quote, so the name, the target and the unquoted value are those read here.
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
  ++at;
  const std::size_t start = at;
  at = printable_run_end<'"', '<', '>', '\\', '#'>(text, at);
  if (at < text.size() && text[at] == '#') {
    link.fragment = true;
    at = printable_run_end<'"', '<', '>', '\\'>(text, at);
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
        if (close == text.size() || text[close] == '\\') return false;
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
  // The usual relation list is the word alone, which is_manifest_word reads
  // as has_manifest_rel would.
  const bool manifest = link.rel && (is_manifest_word(*link.rel) || has_manifest_rel(*link.rel));
  if (link.target.empty() || !manifest) return true;
  // Without a "#" there is no JUMBF reference to look for.
  return found(link.fragment ? link_from_target(link.target) : ManifestLink(link.target, std::nullopt));
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

namespace {

// Where split_top_level would cut a text depends on all before, but without
// escapes a byte is quoted when an odd number of quotes stand before it since
// a link-value started, and a comma or byte is bracketed when the last
// unquoted angle bracket before it opens. So the link-value that holds a
// position can be found by walking from there, back and on.
struct Position {
  std::size_t at;
  bool quoted;
  bool bracketed;
};

// Where the link-value that holds `at` starts, in a text without backslashes
// in which one starts at `from`; and whether `at` is quoted or bracketed.
// Walking back, the commas met since the last bracket are bracketed as that
// bracket tells, so the first comma that a ">" (or the start) shows to be
// unbracketed is the one before the link-value.
std::pair<std::size_t, Position> link_value_start(std::string_view text, std::size_t from, std::size_t at) {
  Position position{at, odd_quotes(text, from, at), false};
  bool quoted = position.quoted;  // before the byte at `i`
  std::optional<std::size_t> comma;
  bool bracket_seen = false;
  for (std::size_t i = at; (i = find_last_byte<'"', '<', '>', ','>(text, from, i)) != std::string_view::npos;) {
    const char c = text[i];
    if (c == '"') quoted = !quoted;
    if (quoted || c == '"') continue;
    if (c == ',') {
      if (!comma) comma = i;
      continue;
    }
    if (!bracket_seen) position.bracketed = c == '<';
    bracket_seen = true;
    if (comma && c == '>') break;
    comma.reset();
  }
  return {comma ? *comma + 1 : from, position};
}

// The top-level comma that ends the link-value holding `position`, or the
// end of the text.
std::size_t link_value_end(std::string_view text, Position position) {
  bool quoted = position.quoted;
  bool bracketed = position.bracketed;
  for (std::size_t i = position.at; (i = find_byte<'"', '<', '>', ','>(text, i)) < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c != ',') {
      bracketed = c == '<';
    } else if (!quoted && !bracketed) {
      return i;
    }
  }
  return text.size();
}

}  // namespace

// A link-value in which the word does not occur cannot advertise a manifest
// (see read_manifest_links), so only those that hold it are read: in one
// pass where they have the common shape, else by the general reader. The
// link-value at `from` is tried first, since it often holds the word (a long
// target, or links close together); else the walks find the word's own.
bool read_word_pieces(std::string_view value, std::size_t first, LinkSink found) {
  std::size_t from = 0;
  for (std::size_t word = first; word < value.size(); word = find_word_or_backslash(value, from)) {
    std::size_t end = from;
    CommonLinkValue link;
    bool common = read_common_link_value(value, end, link);
    if (common && end < word) {
      // That one ended before the word, and so cannot qualify.
      from = end + 1;
      end = from;
      common = false;
    }
    if (!common) {
      const auto [start, position] = link_value_start(value, from, word);
      end = start;
      if (read_common_link_value(value, end, link)) {
        common = true;
      } else {
        end = link_value_end(value, position);
        if (auto general = read_link_value(trim(slice(value, start, end))); general && !found(*general)) return false;
      }
    }
    if (common && !hand_over(link, found)) return false;
    if (end == value.size()) return true;
    from = end + 1;
  }
  return true;
}

bool read_manifest_links(std::string_view value, LinkSink found) {
  // A "rel" value is a part of the header value, but for the backslashes
  // that unquoting drops. So where neither the word "c2pa-manifest" (A to Z
  // folded) nor a backslash occurs, no relation type can be that word.
  const std::size_t first = find_word_or_backslash(value, 0);
  if (first == value.size()) return true;
  if (value.size() < kLongValue) return read_common_shape(value, found);
  if (find_byte<'\\'>(value, first) < value.size()) return read_generally(value, found);
  return read_word_pieces(value, first, found);
}

}  // namespace provlink
