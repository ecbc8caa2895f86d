#include "functions.hpp"

#include "binding.hpp"
#include "boundary.hpp"
#include "convert.hpp"

namespace provlink::python {
namespace {

constexpr std::string_view kUriParameter[] = {"uri"};
constexpr std::string_view kValuesParameter[] = {"values"};

// Every function takes one required argument, by position or by keyword.
constexpr FunctionDescription one_parameter(std::string_view name, std::span<const std::string_view> parameter) {
  return {name, parameter, {}, std::nullopt, 0, 1};
}

constexpr FunctionDescription kFormat = one_parameter("format", kUriParameter);
constexpr FunctionDescription kFormatStrict = one_parameter("format_strict", kUriParameter);
constexpr FunctionDescription kEncodeTarget = one_parameter("encode_target", kUriParameter);
constexpr FunctionDescription kExtract = one_parameter("extract", kValuesParameter);
constexpr FunctionDescription kLocateAll = one_parameter("locate_all", kValuesParameter);

// The call's one argument, bound and converted by `convert`.
template <class Convert>
auto bind_argument(const FunctionDescription& function, PyObject* args, PyObject* kwargs, Convert convert)
    -> decltype(convert(args)) {
  PyObject* slots[1] = {};
  if (auto error = extract_arguments_tuple_dict(function, args, kwargs, slots)) return std::move(*error);
  auto converted = convert(slots[0]);
  if (!converted) {
    return argument_extraction_error(function.positional_parameter_names[0], std::move(converted.error()));
  }
  return converted;
}

PyResult<Ref> header_value_or_error(const Result<std::string, Error>& value) {
  if (!value) return map_err(value.error());
  return new_str(*value);
}

// What every link's dict is made from, made once and kept as long as the
// module: the keys, and the dict of a link without a JUMBF reference with
// "uri" still to be set. Copying a small dict is cheaper than building one,
// and keeps its keys in their order.
struct DictParts {
  PyObject* uri;
  PyObject* jumbf;
  PyObject* is_embedded;
  PyObject* plain;
};

PyObject* interned(const char* text) {
  PyObject* str = PyUnicode_InternFromString(text);
  if (str == nullptr) api_call_failed();
  return str;
}

DictParts make_dict_parts() {
  DictParts parts{interned("uri"), interned("jumbf"), interned("is_embedded"), PyDict_New()};
  if (parts.plain == nullptr || PyDict_SetItem(parts.plain, parts.uri, Py_None) != 0 ||
      PyDict_SetItem(parts.plain, parts.jumbf, Py_None) != 0 ||
      PyDict_SetItem(parts.plain, parts.is_embedded, Py_False) != 0) {
    api_call_failed();
  }
  return parts;
}

const DictParts& dict_parts() {
  static const DictParts parts = make_dict_parts();
  return parts;
}

std::optional<PyErr> set_item(PyObject* dict, PyObject* key, PyResult<Ref> value) {
  if (!value) return std::move(value.error());
  if (PyDict_SetItem(dict, key, value->get()) != 0) return PyErr::fetch();
  return std::nullopt;
}

}  // namespace

PyResult<Ref> to_dict(const ManifestLink& link) {
  const DictParts& parts = dict_parts();
  Ref dict = Ref::steal(PyDict_Copy(parts.plain));
  if (!dict) return PyErr::fetch();
  if (auto error = set_item(dict.get(), parts.uri, new_str(link.uri))) return std::move(*error);
  if (link.jumbf) {
    if (auto error = set_item(dict.get(), parts.jumbf, new_str(*link.jumbf))) return std::move(*error);
    if (auto error = set_item(dict.get(), parts.is_embedded, Ref::borrow(Py_True))) return std::move(*error);
  }
  return dict;
}

PyErr map_err(const Error& error) { return PyErr::new_lazy(PyExc_ValueError, error.text()); }

// NOLINTBEGIN(bugprone-reserved-identifier)
PyResult<Ref> __pyfunction_format(PyObject* args, PyObject* kwargs) {
  auto uri = bind_argument(kFormat, args, kwargs, to_utf8);
  if (!uri) return std::move(uri.error());
  return header_value_or_error(provlink::format(uri->view()));
}

PyResult<Ref> __pyfunction_format_strict(PyObject* args, PyObject* kwargs) {
  auto uri = bind_argument(kFormatStrict, args, kwargs, to_utf8);
  if (!uri) return std::move(uri.error());
  return header_value_or_error(provlink::format_strict(uri->view()));
}

PyResult<Ref> __pyfunction_encode_target(PyObject* args, PyObject* kwargs) {
  auto uri = bind_argument(kEncodeTarget, args, kwargs, to_utf8);
  if (!uri) return std::move(uri.error());
  return new_str(encode_target(uri->view()));
}

PyResult<Ref> __pyfunction_extract(PyObject* args, PyObject* kwargs) {
  auto values = bind_argument(kExtract, args, kwargs, to_utf8_list);
  if (!values) return std::move(values.error());
  const auto link = extract(*values);
  if (link) return to_dict(*link);
  // No manifest advertised is an ordinary answer.
  if (link.error().kind() == Error::Kind::NotFound) return Ref::borrow(Py_None);
  return map_err(link.error());
}

PyResult<Ref> __pyfunction_locate_all(PyObject* args, PyObject* kwargs) {
  auto values = bind_argument(kLocateAll, args, kwargs, to_utf8_list);
  if (!values) return std::move(values.error());
  Ref list = Ref::steal(PyList_New(0));
  if (!list) return PyErr::fetch();
  // Each link becomes its dict as soon as it is read, so no list of records
  // stands beside the result.
  std::optional<PyErr> failure;
  const auto append = [&list, &failure](ManifestLink&& link) {
    auto dict = to_dict(link);
    if (!dict) {
      failure = std::move(dict.error());
    } else if (PyList_Append(list.get(), dict->get()) != 0) {
      failure = PyErr::fetch();
    }
    return !failure;
  };
  for (const std::string_view value : *values) {
    if (!read_manifest_links(value, append)) return std::move(*failure);
  }
  return list;
}
// NOLINTEND(bugprone-reserved-identifier)

}  // namespace provlink::python
