#pragma once

// The fault boundary: every call into the module runs inside trampoline, so
// that no C++ exception reaches the interpreter.

#include <stdexcept>
#include <string>

#include "pyerr.hpp"

namespace provlink::python {

// An internal fault of this module's own code. It has been reported on
// standard error by the time it is thrown.
class Panic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reports an internal fault on standard error and throws it as a Panic.
[[noreturn]] void panic(const std::string& message);

// The PanicException type (borrowed), created on first use.
PyObject* panic_exception_type();

// Turns the exception in flight into a raised Python exception: MemoryError
// for std::bad_alloc, PanicException for anything else. Returns null.
// Must be called from a catch block.
PyObject* raise_current_exception() noexcept;

// Runs a body and hands its result to the interpreter: a new reference, or
// null with the exception set.
template <class Body>
PyObject* trampoline(Body&& body) noexcept {
  try {
    PyResult<Ref> result = body();
    if (result) return result->release();
    std::move(result.error()).restore();
    return nullptr;
  } catch (...) {
    return raise_current_exception();
  }
}

}  // namespace provlink::python
