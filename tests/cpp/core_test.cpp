// What the core's types promise that no call from Python can show.

#include <cstdio>
#include <optional>
#include <type_traits>

#include "link.hpp"

using provlink::LinkSink;
using provlink::ManifestLink;

static_assert(std::is_trivially_copyable_v<LinkSink>);

int main() {
  // A copy of a sink calls what the sink called, whatever becomes of the
  // sink: were it a sink wrapping the sink, it would call what the sink calls
  // now (and dangle once the sink is gone).
  int first = 0;
  int second = 0;
  const auto to_first = [&first](const ManifestLink&) { return ++first > 0; };
  const auto to_second = [&second](const ManifestLink&) { return ++second > 0; };
  LinkSink sink = to_first;
  LinkSink copy = sink;
  sink = LinkSink(to_second);
  copy(ManifestLink("m.c2pa", std::nullopt));
  if (first != 1 || second != 0) {
    std::fputs("core_test.cpp: a copy of a LinkSink is not a copy\n", stderr);
    return 1;
  }
  std::puts("core: all checks passed");
  return 0;
}
