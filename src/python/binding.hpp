#pragma once

// Binding a call's positional and keyword arguments to a function's
// parameters, with the exact TypeError texts for every way it can go wrong.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pyerr.hpp"

namespace provlink::python {

struct KeywordOnlyParameterDescription {
  std::string_view name;
  bool required;
};

// What the binding needs to know of one Python function.
struct FunctionDescription {
  std::string_view func_name;
  std::span<const std::string_view> positional_parameter_names;
  std::span<const KeywordOnlyParameterDescription> keyword_only_parameters;
  std::optional<std::string_view> cls_name;
  std::size_t positional_only_parameters;
  std::size_t required_positional_parameters;

  // "name()", or "Class.name()" for a method.
  std::string full_name() const;

  PyErr too_many_positional_arguments(std::size_t given) const;
  PyErr unexpected_keyword_argument(PyObject* key) const;
  PyErr multiple_values_for_argument(std::string_view name) const;
  PyErr positional_only_passed_as_keyword(std::span<const std::string_view> names) const;
  PyErr missing_required_positional_arguments(std::span<const Ref> slots) const;
  PyErr missing_required_keyword_arguments(std::span<const Ref> keyword_slots) const;

 private:
  PyErr missing_required_arguments(std::string_view kind, std::span<const std::string_view> names) const;
};

// Fills `slots` (the positional parameters, then the keyword-only ones) with
// the arguments of a call, each held, or returns its TypeError.
std::optional<PyErr> extract_arguments_tuple_dict(const FunctionDescription& function, PyObject* args,
                                                  PyObject* kwargs, std::span<Ref> slots);

}  // namespace provlink::python
