#include "functions.hpp"

#include <functional>

#include "binding.hpp"
#include "convert.hpp"
#include "fault.hpp"

namespace provlink::python {
namespace {

constexpr std::string_view kUriParameter[] = {"uri"};
constexpr std::string_view kValuesParameter[] = {"values"};

constexpr FunctionDescription kFormat{"format", kUriParameter};
constexpr FunctionDescription kFormatStrict{"format_strict", kUriParameter};
constexpr FunctionDescription kEncodeTarget{"encode_target", kUriParameter};
constexpr FunctionDescription kExtract{"extract", kValuesParameter};
constexpr FunctionDescription kLocateAll{"locate_all", kValuesParameter};

// The call's one argument. Passed by position, it is borrowed from the
// argument tuple, which holds it for the whole call; by keyword, it is held
// here, since a keyword dict can change under the call.
struct Argument {
  PyObject* object = nullptr;
  Ref held;
};

// Binds the call's one argument, or returns the binding's TypeError.
std::optional<PyErr> bind_argument(const FunctionDescription& function, PyObject* args, PyObject* kwargs,
                                   Argument& argument) {
  // The usual call, one argument by position and no keywords, is bound as
  // the general binding would bind it: to the one parameter.
  if (kwargs == nullptr && PyTuple_Size(args) == 1) {
    argument.object = PyTuple_GetItem(args, 0);
    return std::nullopt;
  }
  Ref slots[1];
  auto error = extract_arguments_tuple_dict(function, args, kwargs, slots);
  argument.held = std::move(slots[0]);
  argument.object = argument.held.get();
  return error;
}

// The call's one argument, `uri`, as UTF-8 text, put in `uri`.
std::optional<PyErr> uri_argument(const FunctionDescription& function, PyObject* args, PyObject* kwargs, Utf8Text& uri) {
  Argument argument;
  if (auto error = bind_argument(function, args, kwargs, argument)) return error;
  if (auto error = to_utf8(argument.object, uri)) {
    return argument_extraction_error(function.positional_parameter_names[0], std::move(*error));
  }
  return std::nullopt;
}

// The call's one argument, `values`, as header values, put in `values`.
std::optional<PyErr> values_argument(const FunctionDescription& function, PyObject* args, PyObject* kwargs,
                                     HeaderValues& values) {
  Argument argument;
  if (auto error = bind_argument(function, args, kwargs, argument)) return error;
  if (auto error = to_header_values(argument.object, values)) {
    return argument_extraction_error(function.positional_parameter_names[0], std::move(*error));
  }
  return std::nullopt;
}

PyResult<Ref> header_value_or_error(const Result<std::string_view, Error>& value) {
  if (!value) return map_err(value.error());
  return new_str(*value);
}

Ref interned(const char* text) {
  Ref str = Ref::steal(PyUnicode_InternFromString(text));
  if (!str) api_call_failed();
  return str;
}

bool set_item(PyObject* dict, PyObject* key, PyObject* value) { return PyDict_SetItem(dict, key, value) == 0; }

// {"uri": uri, "jumbf": jumbf, "is_embedded": True}, or with a null jumbf
// {"uri": uri, "jumbf": None, "is_embedded": False}; null with the error set.
Ref link_dict(PyObject* uri, PyObject* jumbf) {
  const DictParts& parts = life::current()->dict_parts;
#ifdef Py_GIL_DISABLED
  Ref dict = Ref::steal(PyDict_New());
  const bool made = dict && set_item(dict.get(), parts.uri, uri) &&
                    set_item(dict.get(), parts.jumbf, jumbf != nullptr ? jumbf : Py_None) &&
                    set_item(dict.get(), parts.is_embedded, jumbf != nullptr ? Py_True : Py_False);
#else
  Ref dict = Ref::steal(PyDict_Copy(parts.plain));
  const bool made = dict && set_item(dict.get(), parts.uri, uri) &&
                    (jumbf == nullptr ||
                     (set_item(dict.get(), parts.jumbf, jumbf) && set_item(dict.get(), parts.is_embedded, Py_True)));
#endif
  return made ? std::move(dict) : Ref();
}

// A new str of `part`, a view of `source`'s text when `source` is given, or
// null with the error set. Where that text is ASCII, byte offsets are
// character offsets, and the str is cut from the value's own str without
// decoding.
Ref part_str(std::string_view part, const HeaderValue* source) {
  if (source == nullptr || !source->ascii()) {
    return Ref::steal(PyUnicode_FromStringAndSize(part.data(), static_cast<Py_ssize_t>(part.size())));
  }
  const Py_ssize_t start = part.data() - source->text.view().data();
  return Ref::steal(PyUnicode_Substring(source->str.get(), start, start + static_cast<Py_ssize_t>(part.size())));
}

// The value whose text `part` is a view of, if any.
const HeaderValue* source_of(std::string_view part, std::span<const HeaderValue> values) {
  const std::less_equal<> at_most;
  for (const HeaderValue& value : values) {
    const std::string_view text = value.text.view();
    if (at_most(text.data(), part.data()) && at_most(part.data() + part.size(), text.data() + text.size())) return &value;
  }
  return nullptr;
}

}  // namespace

PyResult<Ref> to_dict(const ManifestLink& link, const HeaderValue* source) {
  const Ref uri = part_str(link.uri(), link.uri_is_folded() ? nullptr : source);
  if (!uri) return PyErr::fetch();
  Ref jumbf;
  if (const auto reference = link.jumbf()) {
    jumbf = part_str(*reference, source);
    if (!jumbf) return PyErr::fetch();
  }
  Ref dict = link_dict(uri.get(), jumbf.get());
  if (!dict) return PyErr::fetch();
  return dict;
}

std::optional<PyErr> make_dict_parts(DictParts& parts) {
  Ref uri = interned("uri");
  Ref jumbf = interned("jumbf");
  Ref is_embedded = interned("is_embedded");
#ifndef Py_GIL_DISABLED
  Ref plain = Ref::steal(PyDict_New());
  if (!plain || !set_item(plain.get(), uri.get(), Py_None) || !set_item(plain.get(), jumbf.get(), Py_None) ||
      !set_item(plain.get(), is_embedded.get(), Py_False)) {
    return PyErr::fetch();
  }
  parts.plain = plain.release();
#endif
  parts.uri = uri.release();
  parts.jumbf = jumbf.release();
  parts.is_embedded = is_embedded.release();
  return std::nullopt;
}

PyErr map_err(const Error& error) { return PyErr::new_lazy(PyExc_ValueError, error.text()); }

// NOLINTBEGIN(bugprone-reserved-identifier)
PyResult<Ref> __pyfunction_format(PyObject* args, PyObject* kwargs) {
  Utf8Text uri;
  if (auto error = uri_argument(kFormat, args, kwargs, uri)) return std::move(*error);
  OutputBuffer out;
  return header_value_or_error(provlink::format(uri.view(), out));
}

PyResult<Ref> __pyfunction_format_strict(PyObject* args, PyObject* kwargs) {
  Utf8Text uri;
  if (auto error = uri_argument(kFormatStrict, args, kwargs, uri)) return std::move(*error);
  OutputBuffer out;
  return header_value_or_error(provlink::format_strict(uri.view(), out));
}

PyResult<Ref> __pyfunction_encode_target(PyObject* args, PyObject* kwargs) {
  Utf8Text uri;
  if (auto error = uri_argument(kEncodeTarget, args, kwargs, uri)) return std::move(*error);
  OutputBuffer out;
  return new_str(encode_target(uri.view(), out));
}

PyResult<Ref> __pyfunction_extract(PyObject* args, PyObject* kwargs) {
  HeaderValues values;
  if (auto error = values_argument(kExtract, args, kwargs, values)) return std::move(*error);
  ManifestChoice choice;
  choice.read(values.items());
  if (const auto error = choice.error()) {
    // No manifest advertised is an ordinary answer.
    if (error->kind() == Error::Kind::NotFound) return Ref::borrow(Py_None);
    return map_err(*error);
  }
  const ManifestLink& link = choice.link();
  return to_dict(link, source_of(link.jumbf().value_or(link.uri()), values.items()));
}

PyResult<Ref> __pyfunction_locate_all(PyObject* args, PyObject* kwargs) {
  HeaderValues values;
  if (auto error = values_argument(kLocateAll, args, kwargs, values)) return std::move(*error);
  Ref list = Ref::steal(PyList_New(0));
  if (!list) return PyErr::fetch();
  // Each link becomes its dict as soon as it is read, so no list of records
  // stands beside the result.
  std::optional<PyErr> failure;
  for (const HeaderValue& value : values.items()) {
    const auto append = [&list, &failure, &value](const ManifestLink& link) {
      auto dict = to_dict(link, &value);
      if (!dict) {
        failure = std::move(dict.error());
      } else if (PyList_Append(list.get(), dict->get()) != 0) {
        failure = PyErr::fetch();
      }
      return !failure;
    };
    if (!read_manifest_links(value, append)) return std::move(*failure);
  }
  return list;
}
// NOLINTEND(bugprone-reserved-identifier)

}  // namespace provlink::python
