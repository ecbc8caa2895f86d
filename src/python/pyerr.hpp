#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ref.hpp"
#include "result.hpp"

namespace provlink::python {

// A Python exception not yet raised: a built-in type with a message, made into
// an exception object only when needed, or an exception object that exists.
class PyErr {
 public:
  // `type` is a built-in exception type, alive as long as the interpreter.
  static PyErr new_lazy(PyObject* type, std::string message);
  // Takes an exception object, which must not be null.
  static PyErr from_value(Ref value);
  // Takes the interpreter's pending error. A PanicException that comes back
  // from Python code is not an ordinary error: it resumes as an internal fault.
  static PyErr fetch();

  // The exception's exact type (borrowed).
  PyObject* type() const noexcept;
  // str() of the exception, as text.
  std::string message() const;
  // "{type}: {message}".
  std::string description() const;
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

// Texts of objects for messages: str() of the object as UTF-8, lone
// surrogates shown as U+FFFD. When str() fails, that failure goes to
// sys.unraisablehook and the text is "<unprintable {type} object>".
std::string display_text(PyObject* object);
// str() of the object as display_text makes it, or nothing when str() fails
// (that error is cleared).
std::optional<std::string> str_text(PyObject* object);
// The type's __qualname__, e.g. "int" or "Outer.Inner".
std::string type_qualname(PyObject* object);

// The interpreter could not create an object this layer needs (a message, an
// argument tuple): prints the pending error and raises an internal fault.
[[noreturn]] void api_call_failed();

}  // namespace provlink::python
