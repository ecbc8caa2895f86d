#pragma once

// The fault boundary: every call into the module runs inside trampoline, so
// that no C++ exception reaches the interpreter. It is the one place where
// internal faults (fault.hpp) are caught and raised as PanicException.

#include "fault.hpp"
#include "pyerr.hpp"

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace provlink::python {

// A new PanicException type, for a life of the module (life.hpp).
Ref make_panic_exception();

// Hands a body's error to the interpreter: raises it, or, for a
// PanicException that came back from Python code, raises a new one for this
// call's fault. Returns null.
PyObject* raise_error(PyErr error);

// Turns the exception in flight into a raised Python exception: MemoryError
// for std::bad_alloc, PanicException for anything else. Returns null.
// Must be called from a catch block.
PyObject* raise_current_exception();

// Runs a body and hands its result to the interpreter: a new reference, or
// null with the exception set. No C++ exception leaves it, only the
// unwinding of a thread that the interpreter ends (life.hpp), which must go
// on to the thread's start.
template <class Body>
PyObject* trampoline(Body&& body) {
  try {
    PyResult<Ref> result = body();
    if (result) return result->release();
    return raise_error(std::move(result.error()));
#if defined(__GLIBCXX__)
  } catch (const abi::__forced_unwind&) {
    throw;
#endif
  } catch (...) {
    return raise_current_exception();
  }
}

}  // namespace provlink::python
