#pragma once

#include <string>

#include "ref.hpp"
#include "result.hpp"

namespace provlink::python {

// The exact type of an object (borrowed).
inline PyObject* type_of(PyObject* object) noexcept { return reinterpret_cast<PyObject*>(Py_TYPE(object)); }

// A Python exception not yet raised: a built-in type with a message, made into
// an exception object only when needed, or an exception object that exists.
// A plain value: making one, fetching one and raising one throw nothing but
// the internal fault of an interpreter that cannot make a message.
class PyErr {
 public:
  // `type` is a built-in exception type, alive as long as the interpreter.
  static PyErr new_lazy(PyObject* type, std::string message);
  // Takes an exception object, which must not be null.
  static PyErr from_value(Ref value);
  // Takes the interpreter's pending error.
  static PyErr fetch();

  // The exception's exact type (borrowed).
  PyObject* type() const noexcept;
  // The message of a lazy error, or null for an exception object.
  const std::string* lazy_message() const noexcept;
  // The exception object, if it exists yet (borrowed).
  PyObject* value() const noexcept;
  // The exception object, created now if it does not exist yet.
  Ref into_value() &&;
  // Raises it: sets it as the interpreter's pending error.
  void restore() &&;

 private:
  Ref lazy_message_str() const;

  PyObject* lazy_type_ = nullptr;
  std::string lazy_message_;
  Ref value_;
};

template <class T>
using PyResult = Result<T, PyErr>;

}  // namespace provlink::python
