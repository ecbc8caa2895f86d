#include "convert.hpp"

#include <algorithm>
#include <iterator>

#include "critical_section.hpp"
#include "fault.hpp"

namespace provlink::python {
namespace {

// A sequence may report any length; reserve no more than this up front.
constexpr std::size_t kMaxReservedTexts = 4096;

// A str's strict UTF-8 encoding, put in `text`, or the interpreter's error.
std::optional<PyErr> encode_utf8(PyObject* str, Utf8Text& text) {
  Ref bytes = Ref::steal(PyUnicode_AsUTF8String(str));
  if (!bytes) return PyErr::fetch();
  char* data = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes.get(), &data, &size) != 0) return PyErr::fetch();
  text = Utf8Text(std::move(bytes), std::string_view(data, static_cast<std::size_t>(size)));
  return std::nullopt;
}

// A str as strict UTF-8 text, or nothing (the error discarded).
std::optional<std::string> utf8_string(PyObject* str) {
  Utf8Text text;
  if (encode_utf8(str, text)) return std::nullopt;
  return std::string(text.view());
}

// Text of a type's attribute that must be a str, or nothing (the error cleared).
std::optional<std::string> type_attribute_text(PyObject* type, const char* attribute) {
  const Ref value = Ref::steal(PyObject_GetAttrString(type, attribute));
  if (value && is_str(value.get())) return utf8_string(value.get());
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
  auto text = utf8_string(repaired.get());
  if (!text) api_call_failed();
  return *std::move(text);
}

}  // namespace

bool is_str(PyObject* object) noexcept {
  return (PyType_GetFlags(Py_TYPE(object)) & Py_TPFLAGS_UNICODE_SUBCLASS) != 0;
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

std::string type_qualname(PyObject* object) { return qualname_of_type(type_of(object)); }

std::string error_message(const PyErr& error) {
  if (const std::string* message = error.lazy_message()) return *message;
  return display_text(error.value());
}

std::string error_description(const PyErr& error) {
  return qualname_of_type(error.type()) + ": " + error_message(error);
}

PyErr downcast_error(PyObject* object, std::string_view target) {
  std::string message = "'";
  message += type_qualname(object);
  message += "' object cannot be converted to '";
  message += target;
  message += '\'';
  return PyErr::new_lazy(PyExc_TypeError, std::move(message));
}

std::optional<PyErr> to_utf8(PyObject* object, Utf8Text& text) {
  if (!is_str(object)) return downcast_error(object, "PyString");
  return encode_utf8(object, text);
}

void HeaderValues::reserve(std::size_t size) {
  if (size <= kInline) return;
  spilled_.reserve(std::min(size, kMaxReservedTexts));
  spilling_ = true;
}

HeaderValue& HeaderValues::emplace_back() {
  if (!spilling_ && inline_size_ < kInline) return *std::construct_at(inline_ + inline_size_++);
  if (!spilling_) {
    spilled_.reserve(2 * kInline);
    std::move(inline_, inline_ + inline_size_, std::back_inserter(spilled_));
    spilling_ = true;
  }
  return spilled_.emplace_back();
}

std::span<HeaderValue> HeaderValues::items() noexcept {
  if (spilling_) return spilled_;
  return {inline_, inline_size_};
}

namespace {

// Whether dict() would take `object` for a mapping. As there, an error other
// than AttributeError from the lookup is the caller's.
PyResult<bool> is_mapping(PyObject* object) {
  if (const Ref keys = Ref::steal(PyObject_GetAttrString(object, "keys"))) return true;
  if (PyErr_ExceptionMatches(PyExc_AttributeError) == 0) return PyErr::fetch();
  PyErr_Clear();
  return false;
}

std::optional<PyErr> push_header_value(PyObject* item, HeaderValues& values) {
  HeaderValue& value = values.emplace_back();
  value.str = Ref::borrow(item);
  return to_utf8(item, value.text);
}

}  // namespace

std::optional<PyErr> to_header_values(PyObject* object, HeaderValues& values) {
  // An exact list or tuple is surely a sequence, and is read by index, which
  // is what its iterator would do.
  if (PyTuple_CheckExact(object)) {
    const Py_ssize_t length = PyTuple_Size(object);
    values.reserve(static_cast<std::size_t>(length));
    for (Py_ssize_t i = 0; i < length; ++i) {
      if (auto error = push_header_value(PyTuple_GetItem(object, i), values)) return error;
    }
    return std::nullopt;
  }
  if (PyList_CheckExact(object)) {
    // A list's items are all held under its lock, so that the call sees the
    // list as it stood at one moment while other threads change it and
    // borrows no item beyond that; then they are converted.
    {
      const CriticalSection lock(object);
      const Py_ssize_t length = PyList_Size(object);
      values.reserve(static_cast<std::size_t>(length));
      for (Py_ssize_t i = 0; i < length; ++i) values.emplace_back().str = Ref::borrow(PyList_GetItem(object, i));
    }
    for (HeaderValue& value : values.items()) {
      if (auto error = to_utf8(value.str.get(), value.text)) return error;
    }
    return std::nullopt;
  }
  if (is_str(object)) return PyErr::new_lazy(PyExc_TypeError, "Can't extract `str` to `Vec`");
  // A mapping written in Python (an HTTP library's headers) offers item
  // access, yet iterates over its keys: field names, never Link values. It
  // is refused as a dict is; a mapping is what dict() takes for one, an
  // object with a `keys` attribute.
  auto mapping = is_mapping(object);
  if (!mapping) return std::move(mapping.error());
  if (*mapping) return downcast_error(object, "Sequence");
  if (PySequence_Check(object) == 0) return downcast_error(object, "Sequence");

  // The length is a sizing hint only: an ordinary error from it is dropped.
  // Anything else (KeyboardInterrupt, SystemExit) belongs to the caller.
  const Py_ssize_t length = PySequence_Size(object);
  if (length >= 0) {
    values.reserve(static_cast<std::size_t>(length));
  } else if (PyErr_Occurred() == nullptr || PyErr_ExceptionMatches(PyExc_Exception) != 0) {
    PyErr_Clear();
  } else {
    return PyErr::fetch();
  }
  const Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) return PyErr::fetch();
  while (const Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (auto error = push_header_value(item.get(), values)) return error;
  }
  if (PyErr_Occurred() != nullptr) return PyErr::fetch();
  return std::nullopt;
}

std::optional<std::string> keyword_name(PyObject* key) {
  if (!is_str(key)) return std::nullopt;
  return utf8_string(key);
}

PyErr argument_extraction_error(std::string_view parameter, PyErr error) {
  if (error.type() != PyExc_TypeError) return error;
  const std::string message = "argument '" + std::string(parameter) + "': " + error_message(error);
  const Ref cause = Ref::steal(PyException_GetCause(std::move(error).into_value().get()));
  Ref replacement = PyErr::new_lazy(PyExc_TypeError, message).into_value();
  // Takes over the cause (or none), which also suppresses the context.
  PyException_SetCause(replacement.get(), Ref::borrow(cause.get()).release());
  return PyErr::from_value(std::move(replacement));
}

PyResult<Ref> new_str(std::string_view text) {
  Ref str = Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!str) return PyErr::fetch();
  return str;
}

}  // namespace provlink::python
