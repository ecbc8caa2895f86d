// The general reader: the plain statement of how a Link header value is
// read, link-value by link-value. Every faster way of reading must give its
// answers.

#include <algorithm>

#include "link_read.hpp"
#include "scan.hpp"
#include "text.hpp"
#include "top_level.hpp"

namespace provlink {
namespace {

// One link parameter as written: name and value trimmed, the value still quoted.
struct Param {
  std::string_view name;
  std::string_view value;
};

// The parameters of the text after a target, in order, one at a time. The
// piece before the first semicolon counts like any other.
class ParamReader {
 public:
  explicit ParamReader(std::string_view text) : pieces_(split_top_level<';'>(text)) {}

  bool next(Param& param) {
    for (std::string_view piece; pieces_.next(piece);) {
      piece = trim(piece);
      if (piece.empty()) continue;
      const std::size_t equals = find_byte<'='>(piece, 0);
      if (equals == npos) {
        param = {piece, {}};
      } else {
        param = {trim(slice(piece, 0, equals)), trim(slice(piece, equals + 1))};
      }
      return true;
    }
    return false;
  }

 private:
  TopLevelSplit<';'> pieces_;
};

ParamReader parse_params(std::string_view text) { return ParamReader(text); }

// A parameter value without its surrounding double quotes, escapes resolved.
// Anything not wrapped in a pair of quotes is taken as it is. The result views
// `value`, or `scratch` when an escape had to be resolved.
std::string_view unquote(std::string_view value, std::string& scratch) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return value;
  const std::string_view inner = slice(value, 1, value.size() - 1);
  if (inner.find('\\') == std::string_view::npos) return inner;
  scratch.clear();
  scratch.reserve(inner.size());
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '\\') {
      if (++i == inner.size()) break;  // a trailing backslash escapes nothing
    }
    scratch += inner[i];
  }
  return scratch;
}

}  // namespace

bool has_manifest_rel(std::string_view value) {
  if (value.size() < kManifestRel.size()) return false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    if (i == value.size() || is_relation_separator(value[i])) {
      if (equals_ascii_folded(slice(value, start, i), kManifestRel)) return true;
      start = i + 1;
    }
  }
  return false;
}

ManifestLink link_from_target(std::string_view target) {
  constexpr std::string_view prefix = "jumbf=";
  const std::size_t hash = target.find('#');
  if (hash == std::string_view::npos) return {target, std::nullopt};
  const std::string_view fragment = slice(target, hash + 1);
  if (fragment.size() < prefix.size() || !equals_ascii_folded(slice(fragment, 0, prefix.size()), prefix)) {
    return {target, std::nullopt};
  }
  const std::string_view rest = slice(fragment, prefix.size());
  const std::string_view segment = slice(rest, 0, std::min(rest.find('/'), rest.size()));
  if (segment.empty()) return {target, std::nullopt};

  // With the prefix already in lower case, the uri is the target up to the
  // end of the segment.
  const std::size_t uri_size = hash + 1 + prefix.size() + segment.size();
  if (slice(fragment, 0, prefix.size()) == prefix) return {slice(target, 0, uri_size), segment};
  std::string uri;
  uri.reserve(uri_size);
  uri.append(slice(target, 0, hash)).append("#").append(prefix).append(segment);
  return {std::move(uri), segment};
}

std::optional<ManifestLink> read_link_value(std::string_view link_value) {
  const std::size_t open = find_byte<'<'>(link_value, 0);
  if (open == npos) return std::nullopt;
  const std::size_t close = find_byte<'>'>(link_value, open + 1);
  if (close == npos) return std::nullopt;
  const std::string_view target = trim(slice(link_value, open + 1, close));
  if (target.empty()) return std::nullopt;

  // Only the first "rel" parameter counts, even when it does not match.
  auto params = parse_params(slice(link_value, close + 1));
  for (Param param; params.next(param);) {
    if (equals_ascii_folded(param.name, "rel")) {
      std::string scratch;
      if (!has_manifest_rel(unquote(param.value, scratch))) return std::nullopt;
      return link_from_target(target);
    }
  }
  return std::nullopt;
}

bool read_generally(std::string_view value, LinkSink found) {
  auto link_values = split_top_level<','>(value);
  for (std::string_view link_value; link_values.next(link_value);) {
    if (auto link = read_link_value(trim(link_value)); link && !found(*link)) return false;
  }
  return true;
}

}  // namespace provlink
