#include "pyerr.hpp"

#include "fault.hpp"

namespace provlink::python {
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
  if (type != nullptr) PyErr_NormalizeException(&type, &value, &traceback);
  const Ref owned_type = Ref::steal(type);
  Ref exception = Ref::steal(value);
  const Ref owned_traceback = Ref::steal(traceback);
  if (!owned_type || !exception) return new_lazy(PyExc_SystemError, "attempted to fetch exception but none was set");
  if (owned_traceback) PyException_SetTraceback(exception.get(), owned_traceback.get());
  return from_value(std::move(exception));
}

PyObject* PyErr::type() const noexcept { return value_ ? type_of(value_.get()) : lazy_type_; }

const std::string* PyErr::lazy_message() const noexcept { return value_ ? nullptr : &lazy_message_; }

PyObject* PyErr::value() const noexcept { return value_.get(); }

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

}  // namespace provlink::python
