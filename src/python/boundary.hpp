#pragma once

// The fault boundary: every call into the module runs inside trampoline, so
// that no C++ exception reaches the interpreter.

#include <exception>
#include <string>
#include <utility>

#include "lifetime.hpp"
#include "pyerr.hpp"

namespace provlink::python {

// An internal fault of this module's own code. It has been reported on
// standard error by the time it is thrown. Not a std::runtime_error: its
// constructors need a newer libstdc++ than manylinux2014 promises.
class Panic : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Reports an internal fault on standard error and throws it as a Panic.
[[noreturn]] void panic(const std::string& message);

// The PanicException type (borrowed), created on first use.
PyObject* panic_exception_type();
// Forgets it, once its interpreter is gone.
void forget_panic_exception_type() noexcept;

// Turns the exception in flight into a raised Python exception: MemoryError
// for std::bad_alloc, PanicException for anything else. Returns null.
// Must be called from a catch block. Lets a thread's unwinding pass.
PyObject* raise_current_exception();

// Runs a body and hands its result to the interpreter: a new reference, or
// null with the exception set. No C++ exception leaves it, only the
// unwinding of a thread that the interpreter ends (see lifetime.hpp), which
// must go on to the thread's start.
template <class Body>
PyObject* trampoline(Body&& body) {
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
