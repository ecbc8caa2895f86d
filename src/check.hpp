#pragma once

// PROVLINK_ASSERT(condition): a precondition or an invariant that the code
// relies on. Where PROVLINK_ASSERTIONS is defined (debug, fuzz and sanitizer
// builds) a broken one aborts with its place; elsewhere, release wheels among
// them, the condition is not even evaluated.

#ifdef PROVLINK_ASSERTIONS

#include <cstdio>
#include <cstdlib>

namespace provlink {

[[noreturn]] inline void assertion_failed(const char* condition, const char* file, int line) noexcept {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::abort();
}

}  // namespace provlink

#define PROVLINK_ASSERT(condition) \
  ((condition) ? static_cast<void>(0) : ::provlink::assertion_failed(#condition, __FILE__, __LINE__))

#else

#define PROVLINK_ASSERT(condition) static_cast<void>(sizeof(condition))

#endif
