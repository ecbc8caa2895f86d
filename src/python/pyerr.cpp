#include "pyerr.hpp"

#include "boundary.hpp"
#include "convert.hpp"

namespace provlink::python {
namespace {

PyObject* type_of(PyObject* object) noexcept { return reinterpret_cast<PyObject*>(Py_TYPE(object)); }

// Text of a type's attribute that must be a str, or nothing (the error cleared).
std::optional<std::string> type_attribute_text(PyObject* type, const char* attribute) {
  Ref value = Ref::steal(PyObject_GetAttrString(type, attribute));
  if (value && is_str(value.get())) {
    if (Utf8Text text; !to_utf8(value.get(), text)) return std::string(text.view());
  }
  PyErr_Clear();
  return std::nullopt;
}

std::string qualname_of_type(PyObject* type) {
  return type_attribute_text(type, "__qualname__").value_or("<failed to extract type name>");
}

// A str as UTF-8 text, whatever it holds: surrogates pass into the bytes and
// then come out as U+FFFD, one per byte of their ill-formed encoding.
std::string lossy_text(PyObject* str) {
  Ref bytes = Ref::steal(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
  if (!bytes) api_call_failed();
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes.get(), &data, &size) != 0) api_call_failed();
  Ref repaired = Ref::steal(PyUnicode_DecodeUTF8(data, size, "replace"));
  if (!repaired) api_call_failed();
  Utf8Text text;
  if (to_utf8(repaired.get(), text)) api_call_failed();
  return std::string(text.view());
}

// A PanicException raised by Python code called from a body (for instance by
// the iteration of a `values` object) goes on as a fault of this call.
[[noreturn]] void resume_panic(Ref exception) {
  PySys_WriteStderr("provlink: a PanicException came back from Python code; resuming it as an internal fault\n");
  PySys_WriteStderr("Python stack trace below:\n");
  PyErr::from_value(Ref::borrow(exception.get())).restore();
  PyErr_PrintEx(0);
  throw Panic(str_text(exception.get()).value_or("Unwrapped panic from Python code"));
}

}  // namespace

PyErr PyErr::new_lazy(PyObject* type, std::string message) {
  PyErr error;
  error.lazy_type_ = type;
  error.lazy_message_ = std::move(message);
  return error;
}

PyErr PyErr::from_value(Ref value) {
  PyErr error;
  error.value_ = std::move(value);
  return error;
}

PyErr PyErr::fetch() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) {
    Py_DecRef(value);
    Py_DecRef(traceback);
    return new_lazy(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
  PyErr_NormalizeException(&type, &value, &traceback);
  const Ref owned_type = Ref::steal(type);
  Ref exception = Ref::steal(value);
  const Ref owned_traceback = Ref::steal(traceback);
  if (!exception) return new_lazy(PyExc_SystemError, "attempted to fetch exception but none was set");
  if (owned_traceback) PyException_SetTraceback(exception.get(), owned_traceback.get());
  if (PyErr_GivenExceptionMatches(owned_type.get(), panic_exception_type()) != 0) {
    resume_panic(std::move(exception));
  }
  return from_value(std::move(exception));
}

PyObject* PyErr::type() const noexcept { return value_ ? type_of(value_.get()) : lazy_type_; }

std::string PyErr::message() const { return value_ ? display_text(value_.get()) : lazy_message_; }

std::string PyErr::description() const {
  return qualname_of_type(type()) + ": " + message();
}

Ref PyErr::lazy_message_str() const {
  Ref message = Ref::steal(
      PyUnicode_FromStringAndSize(lazy_message_.data(), static_cast<Py_ssize_t>(lazy_message_.size())));
  if (!message) api_call_failed();
  return message;
}

Ref PyErr::into_value() && {
  if (value_) return std::move(value_);
  Ref value = Ref::steal(PyObject_CallFunctionObjArgs(lazy_type_, lazy_message_str().get(), nullptr));
  if (!value) api_call_failed();
  return value;
}

void PyErr::restore() && {
  if (!value_) {
    // Raised as the interpreter raises its own, so it chains to the exception being handled.
    PyErr_SetObject(lazy_type_, lazy_message_str().get());
    return;
  }
  // An existing exception keeps the traceback it came with.
  PyObject* traceback = PyException_GetTraceback(value_.get());
  PyObject* type = type_of(value_.get());
  Py_IncRef(type);
  PyErr_Restore(type, value_.release(), traceback);
}

std::optional<std::string> str_text(PyObject* object) {
  Ref text = Ref::steal(PyObject_Str(object));
  if (!text) {
    PyErr_Clear();
    return std::nullopt;
  }
  return lossy_text(text.get());
}

std::string display_text(PyObject* object) {
  Ref text = Ref::steal(PyObject_Str(object));
  if (text) return lossy_text(text.get());
  PyErr_WriteUnraisable(object);
  if (auto name = type_attribute_text(type_of(object), "__name__")) return "<unprintable " + *name + " object>";
  return "<unprintable object>";
}

std::string type_qualname(PyObject* object) {
  return qualname_of_type(type_of(object));
}

void api_call_failed() {
  PyErr_Print();
  panic("Python API call failed");
}

}  // namespace provlink::python
