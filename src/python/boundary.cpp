#include "boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "convert.hpp"
#include "life.hpp"

namespace provlink::python {
namespace {

// Its module, bindery_runtime, which exists nowhere, and its name are those
// that the module's documented interface gives it: not a leftover, and kept.
constexpr const char* kPanicExceptionName = "bindery_runtime.PanicException";
constexpr const char* kPanicExceptionDoc =
    "\n"
    "Raised when the native code of provlink, called from Python, fails with an internal fault.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

constexpr const char* kUntoldFault = "provlink's native code failed with an internal fault";

// The life's PanicException type, or null before its life has made it.
PyObject* panic_exception() noexcept {
  const Life* life = life::current();
  return life != nullptr ? life->panic_exception : nullptr;
}

// Raising the fault failed in turn: there is no sound way back into Python.
[[noreturn]] void abort_uncaught() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::abort();
}

void raise_panic(const std::string& message) {
  PyObject* type = panic_exception();
  if (type == nullptr) throw Panic("Failed to initialize new exception type.");
  Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) throw Panic("could not create the PanicException message");
  PyErr_SetObject(type, text.get());
}

// A PanicException raised by Python code that a body called (for instance
// the iteration of a `values` object) goes on as a fault of this call.
[[noreturn]] void resume_panic(PyErr error) {
  PySys_WriteStderr("provlink: a PanicException came back from Python code; resuming it as an internal fault\n");
  PySys_WriteStderr("Python stack trace below:\n");
  const Ref exception = std::move(error).into_value();
  PyErr::from_value(Ref::borrow(exception.get())).restore();
  PyErr_PrintEx(0);
  throw Panic(str_text(exception.get()).value_or("Unwrapped panic from Python code"));
}

}  // namespace

Ref make_panic_exception() {
  Ref type = Ref::steal(PyErr_NewExceptionWithDoc(kPanicExceptionName, kPanicExceptionDoc, PyExc_BaseException, nullptr));
  if (!type) panic("Failed to initialize new exception type.");
  return type;
}

PyObject* raise_error(PyErr error) {
  // Only an exception that Python code raised can be one.
  PyObject* panic_type = panic_exception();
  if (error.value() != nullptr && panic_type != nullptr && PyErr_GivenExceptionMatches(error.type(), panic_type) != 0) {
    resume_panic(std::move(error));
  }
  std::move(error).restore();
  return nullptr;
}

PyObject* raise_current_exception() {
  try {
    std::string message;
    try {
      throw;
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
      return nullptr;
    } catch (const Panic& fault) {
      message = fault.what();
    } catch (const std::exception& fault) {
      message = fault.what();
      report_fault(message);
    } catch (...) {
      message = kUntoldFault;
      report_fault(message);
    }
    raise_panic(message);
    return nullptr;
  } catch (...) {
    abort_uncaught();
  }
}

}  // namespace provlink::python
