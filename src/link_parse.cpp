#include <algorithm>

#include "link.hpp"
#include "text.hpp"

namespace provlink {
namespace {

// The pieces of `text` between `separator` bytes that stand outside quoted
// strings and angle brackets, one at a time. There is always at least one
// piece, and pieces may be empty. An unclosed quote or bracket runs to the
// end; brackets do not nest.
class TopLevelSplit {
 public:
  TopLevelSplit(std::string_view text, char separator) : text_(text), separator_(separator) {}

  bool next(std::string_view& piece) {
    if (done_) return false;
    bool quoted = false;
    bool bracketed = false;
    for (std::size_t i = start_; i < text_.size(); ++i) {
      const char c = text_[i];
      if (quoted) {
        if (c == '"') {
          quoted = false;
        } else if (c == '\\') {
          ++i;  // the escaped byte is passed over unexamined
        }
      } else if (c == '"') {
        quoted = true;
      } else if (c == '<') {
        bracketed = true;
      } else if (c == '>') {
        bracketed = false;
      } else if (c == separator_ && !bracketed) {
        piece = text_.substr(start_, i - start_);
        start_ = i + 1;
        return true;
      }
    }
    piece = text_.substr(start_);
    done_ = true;
    return true;
  }

 private:
  std::string_view text_;
  char separator_;
  std::size_t start_ = 0;
  bool done_ = false;
};

TopLevelSplit split_top_level(std::string_view text, char separator) { return {text, separator}; }

// One link parameter as written: name and value trimmed, the value still quoted.
struct Param {
  std::string_view name;
  std::string_view value;
};

// The parameters of the text after a target, in order, one at a time. The
// piece before the first semicolon counts like any other.
class ParamReader {
 public:
  explicit ParamReader(std::string_view text) : pieces_(split_top_level(text, ';')) {}

  bool next(Param& param) {
    for (std::string_view piece; pieces_.next(piece);) {
      piece = trim(piece);
      if (piece.empty()) continue;
      const std::size_t equals = piece.find('=');
      if (equals == std::string_view::npos) {
        param = {piece, {}};
      } else {
        param = {trim(piece.substr(0, equals)), trim(piece.substr(equals + 1))};
      }
      return true;
    }
    return false;
  }

 private:
  TopLevelSplit pieces_;
};

ParamReader parse_params(std::string_view text) { return ParamReader(text); }

// A parameter value without its surrounding double quotes, escapes resolved.
// Anything not wrapped in a pair of quotes is taken as it is.
std::string unquote(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::string(value);
  const std::string_view inner = value.substr(1, value.size() - 2);
  std::string out;
  out.reserve(inner.size());
  for (std::size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '\\') {
      if (++i == inner.size()) break;  // a trailing backslash escapes nothing
    }
    out += inner[i];
  }
  return out;
}

// Whether a "rel" value lists the relation type "c2pa-manifest".
bool has_manifest_rel(std::string_view value) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= value.size(); ++i) {
    if (i == value.size() || is_relation_separator(value[i])) {
      if (equals_ascii_folded(value.substr(start, i - start), kManifestRel)) return true;
      start = i + 1;
    }
  }
  return false;
}

// The record for a target, with the JUMBF reference taken from a fragment
// that starts "jumbf=". Only the segment up to the next "/" is the reference,
// and the uri keeps just that much of the fragment, its prefix in lower case.
ManifestLink link_from_target(std::string_view target) {
  constexpr std::string_view prefix = "jumbf=";
  const std::size_t hash = target.find('#');
  if (hash == std::string_view::npos) return {std::string(target), std::nullopt};
  const std::string_view fragment = target.substr(hash + 1);
  if (!equals_ascii_folded(fragment.substr(0, prefix.size()), prefix)) {
    return {std::string(target), std::nullopt};
  }
  const std::string_view rest = fragment.substr(prefix.size());
  const std::string_view segment = rest.substr(0, rest.find('/'));
  if (segment.empty()) return {std::string(target), std::nullopt};

  std::string uri;
  uri.reserve(hash + 1 + prefix.size() + segment.size());
  uri.append(target.substr(0, hash)).append("#").append(prefix).append(segment);
  return {std::move(uri), std::string(segment)};
}

// The manifest link that one trimmed link-value advertises, if any.
std::optional<ManifestLink> read_link_value(std::string_view link_value) {
  const std::size_t open = link_value.find('<');
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = link_value.find('>', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  const std::string_view target = trim(link_value.substr(open + 1, close - open - 1));
  if (target.empty()) return std::nullopt;

  // Only the first "rel" parameter counts, even when it does not match.
  auto params = parse_params(link_value.substr(close + 1));
  for (Param param; params.next(param);) {
    if (equals_ascii_folded(param.name, "rel")) {
      if (!has_manifest_rel(unquote(param.value))) return std::nullopt;
      return link_from_target(target);
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<ManifestLink> locate_all(std::span<const std::string_view> values) {
  std::vector<ManifestLink> links;
  for (const std::string_view value : values) {
    auto link_values = split_top_level(value, ',');
    for (std::string_view link_value; link_values.next(link_value);) {
      if (auto link = read_link_value(trim(link_value))) links.push_back(std::move(*link));
    }
  }
  return links;
}

Result<ManifestLink, Error> extract(std::span<const std::string_view> values) {
  std::vector<ManifestLink> links = locate_all(values);
  // Repeats of one link collapse only when adjacent: A, B, A still competes.
  links.erase(std::unique(links.begin(), links.end()), links.end());
  if (links.empty()) return Error::not_found();
  if (links.size() > 1) return Error::ambiguous();
  return std::move(links.front());
}

}  // namespace provlink
