#include "functions.hpp"

#include "binding.hpp"
#include "convert.hpp"
#include "link.hpp"

namespace provlink::python {
namespace {

constexpr std::string_view kUriParameter[] = {"uri"};

constexpr FunctionDescription uri_function(std::string_view name) {
  return {name, kUriParameter, {}, std::nullopt, 0, 1};
}

constexpr FunctionDescription kFormat = uri_function("format");
constexpr FunctionDescription kFormatStrict = uri_function("format_strict");
constexpr FunctionDescription kEncodeTarget = uri_function("encode_target");

// The one `uri` argument of a call, as UTF-8.
PyResult<Utf8Text> bind_uri(const FunctionDescription& function, PyObject* args, PyObject* kwargs) {
  PyObject* slots[1] = {};
  if (auto error = extract_arguments_tuple_dict(function, args, kwargs, slots)) return std::move(*error);
  auto uri = to_utf8(slots[0]);
  if (!uri) return argument_extraction_error("uri", std::move(uri.error()));
  return uri;
}

PyResult<Ref> header_value_or_error(const Result<std::string, Error>& value) {
  if (!value) return map_err(value.error());
  return new_str(*value);
}

}  // namespace

PyErr map_err(const Error& error) { return PyErr::new_lazy(PyExc_ValueError, error.text()); }

// NOLINTBEGIN(bugprone-reserved-identifier)
PyResult<Ref> __pyfunction_format(PyObject* args, PyObject* kwargs) {
  auto uri = bind_uri(kFormat, args, kwargs);
  if (!uri) return std::move(uri.error());
  return header_value_or_error(provlink::format(uri->view()));
}

PyResult<Ref> __pyfunction_format_strict(PyObject* args, PyObject* kwargs) {
  auto uri = bind_uri(kFormatStrict, args, kwargs);
  if (!uri) return std::move(uri.error());
  return header_value_or_error(provlink::format_strict(uri->view()));
}

PyResult<Ref> __pyfunction_encode_target(PyObject* args, PyObject* kwargs) {
  auto uri = bind_uri(kEncodeTarget, args, kwargs);
  if (!uri) return std::move(uri.error());
  return new_str(encode_target(uri->view()));
}
// NOLINTEND(bugprone-reserved-identifier)

}  // namespace provlink::python
