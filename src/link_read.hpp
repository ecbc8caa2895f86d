#pragma once

// The ways of reading a Link header value, for the reader that picks among
// them (link_read.cpp) and for the fuzzer that checks they agree.

#include <cstddef>
#include <optional>
#include <string_view>

#include "link.hpp"

namespace provlink {

// The general reader (link_parse.cpp): every link-value, as the rules state.
bool read_generally(std::string_view value, LinkSink found);

// The manifest link that one trimmed link-value advertises, if any.
std::optional<ManifestLink> read_link_value(std::string_view link_value);

// Whether a "rel" value lists the relation type "c2pa-manifest".
bool has_manifest_rel(std::string_view value);

// The record for a target, with the JUMBF reference taken from a fragment
// that starts "jumbf=". Only the segment up to the next "/" is the reference,
// and the uri keeps just that much of the fragment, its prefix in lower case.
ManifestLink link_from_target(std::string_view target);

// The fast readers (link_fast.cpp). Each gives the general reader's answer.

// The link of a value that is one manifest link as format writes it, or
// nothing for a value of any other shape.
std::optional<ManifestLink> read_written_shape(std::string_view value);

// Link-values of the common shape, each read in one forward pass; from the
// first link-value of another shape on, the general reader.
bool read_common_shape(std::string_view value, LinkSink found);

// For a value that holds no backslash: only the link-values in which
// "c2pa-manifest" occurs (the first occurrence at `first`), each found by
// walking from an occurrence to the top-level commas around it.
bool read_around_manifest_rel(std::string_view value, std::size_t first, LinkSink found);

}  // namespace provlink
