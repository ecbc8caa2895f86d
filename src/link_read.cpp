// The reader that picks the way to read a Link header value: the fastest
// that the value's shape allows, each giving the general reader's answer.

#include "link_read.hpp"
#include "scan.hpp"

namespace provlink {
namespace {

// From this size on, a value in which "c2pa-manifest" occurs is read only
// around each occurrence.
constexpr std::size_t kLongValue = 512;

}  // namespace

bool read_manifest_links(std::string_view value, LinkSink found) {
  if (const auto link = read_written_shape(value)) return found(*link);
  // A "rel" value is a part of the header value, but for the backslashes
  // that unquoting drops. So where neither the word "c2pa-manifest" (A to Z
  // folded) nor a backslash occurs, no relation type can be that word.
  const std::size_t first = find_manifest_rel_or_backslash(value, 0);
  if (first == npos) return true;
  if (value.size() < kLongValue) return read_common_shape(value, found);
  if (find_byte<'\\'>(value, first) != npos) return read_generally(value, found);
  return read_around_manifest_rel(value, first, found);
}

}  // namespace provlink
