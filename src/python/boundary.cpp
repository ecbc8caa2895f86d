#include "boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "compat.hpp"
#include "write_once.hpp"

namespace provlink::python {
namespace {

constexpr const char* kPanicExceptionDoc =
    "\n"
    "Raised when the native code of provlink, called from Python, fails with an internal fault.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

constexpr const char* kUntoldFault = "provlink's native code failed with an internal fault";

WriteOnce<PyObject> g_panic_exception;

void report(const std::string& message) {
  write_stderr_line("provlink: internal fault: " + message);
}

// Raising the fault failed in turn: there is no sound way back into Python.
[[noreturn]] void abort_uncaught() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::abort();
}

void raise_panic(const std::string& message) {
  PyObject* type = panic_exception_type();
  Ref text = Ref::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) throw Panic("could not create the PanicException message");
  PyErr_SetObject(type, text.get());
}

}  // namespace

void panic(const std::string& message) {
  report(message);
  throw Panic(message);
}

PyObject* panic_exception_type() {
  if (PyObject* type = g_panic_exception.get()) return type;
  Ref type = Ref::steal(PyErr_NewExceptionWithDoc("bindery_runtime.PanicException", kPanicExceptionDoc,
                                                  PyExc_BaseException, nullptr));
  if (!type) panic("Failed to initialize new exception type.");
  return g_panic_exception.publish(std::move(type));
}

void forget_panic_exception_type() noexcept { abandon(g_panic_exception.take()); }

PyObject* raise_current_exception() {
  try {
    std::string message;
    try {
      throw;
#if defined(__GLIBCXX__)
    } catch (const abi::__forced_unwind&) {
      throw;
#endif
    } catch (const std::bad_alloc&) {
      PyErr_NoMemory();
      return nullptr;
    } catch (const Panic& fault) {
      message = fault.what();
    } catch (const std::exception& fault) {
      message = fault.what();
      report(message);
    } catch (...) {
      message = kUntoldFault;
      report(message);
    }
    raise_panic(message);
    return nullptr;
#if defined(__GLIBCXX__)
  } catch (const abi::__forced_unwind&) {
    throw;
#endif
  } catch (...) {
    abort_uncaught();
  }
}

}  // namespace provlink::python
