#pragma once

// Conversions between Python objects and the core's UTF-8 text.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pyerr.hpp"

namespace provlink::python {

// The UTF-8 text of a str argument. The interpreter's encoding is the one
// copy: the call owns it until it returns.
class Utf8Text {
 public:
  Utf8Text() noexcept = default;
  Utf8Text(Ref bytes, std::string_view view) noexcept : bytes_(std::move(bytes)), view_(view) {}
  std::string_view view() const noexcept { return view_; }
  operator std::string_view() const noexcept { return view_; }  // NOLINT(google-explicit-constructor)

 private:
  Ref bytes_;
  std::string_view view_;
};

// One header value: its UTF-8 text, and the str it came from, of which an
// ASCII value's parts can be made without decoding them again.
struct HeaderValue {
  Ref str;
  Utf8Text text;

  // A str of as many characters as UTF-8 bytes is ASCII.
  bool ascii() const { return PyUnicode_GetLength(str.get()) == static_cast<Py_ssize_t>(text.view().size()); }

  operator std::string_view() const noexcept { return text.view(); }  // NOLINT(google-explicit-constructor)
};

// The header values of a call, in order: in place when there are few, so
// that the usual call allocates nothing here.
class HeaderValues {
 public:
  HeaderValues() noexcept {}  // NOLINT(modernize-use-equals-default): the inline slots stay unconstructed
  HeaderValues(const HeaderValues&) = delete;
  HeaderValues& operator=(const HeaderValues&) = delete;
  ~HeaderValues() { std::destroy_n(inline_, inline_size_); }

  void reserve(std::size_t size);
  // A new, empty value at the end, to be filled in.
  HeaderValue& emplace_back();
  std::span<HeaderValue> items() noexcept;

 private:
  static constexpr std::size_t kInline = 4;
  // Slots are constructed as they are used, so that a call with one value
  // pays for one.
  union {
    HeaderValue inline_[kInline];
  };
  std::size_t inline_size_ = 0;
  std::vector<HeaderValue> spilled_;  // all of them, once there are or may be more than kInline
  bool spilling_ = false;
};

bool is_str(PyObject* object) noexcept;

// Texts of objects for messages: str() of the object as UTF-8, lone
// surrogates shown as U+FFFD. When str() fails, that failure goes to
// sys.unraisablehook and the text is "<unprintable {type} object>".
std::string display_text(PyObject* object);
// str() of the object as display_text makes it, or nothing when str() fails
// (that error is cleared).
std::optional<std::string> str_text(PyObject* object);
// The type's __qualname__, e.g. "int" or "Outer.Inner".
std::string type_qualname(PyObject* object);

// str() of an error's exception, as text.
std::string error_message(const PyErr& error);
// "{type}: {message}".
std::string error_description(const PyErr& error);

// The TypeError "'{type}' object cannot be converted to '{target}'". The
// targets `PyString`, `PyList` and `Sequence`, and "Can't extract `str` to
// `Vec`", are messages of the module's documented interface, which callers
// match: they stay as they are, though they name no type of this code.
PyErr downcast_error(PyObject* object, std::string_view target);

// A str (or a str subclass) as strict UTF-8, put in `text`. A lone surrogate
// gives the interpreter's own UnicodeEncodeError.
std::optional<PyErr> to_utf8(PyObject* object, Utf8Text& text);

// A sequence of str (not a str itself) as header values, put in `values`.
// Its reported length is only a hint; the first item that fails ends the
// conversion.
std::optional<PyErr> to_header_values(PyObject* object, HeaderValues& values);

// The text of a keyword name, or nothing when it is no str or cannot be
// encoded (that error is discarded).
std::optional<std::string> keyword_name(PyObject* key);

// A conversion error as the caller sees it: an exact TypeError is restated as
// "argument '{parameter}': {message}"; every other error passes unchanged.
PyErr argument_extraction_error(std::string_view parameter, PyErr error);

// A new str holding `text`, or the interpreter's error.
PyResult<Ref> new_str(std::string_view text);

}  // namespace provlink::python
