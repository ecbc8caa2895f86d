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

// What the binding needs to know of one Python function: its name and its
// parameters, each of them required and passed by position or by keyword,
// as all of the module's are.
struct FunctionDescription {
  std::string_view func_name;
  std::span<const std::string_view> positional_parameter_names;

  // "name()".
  std::string full_name() const;

  PyErr too_many_positional_arguments(std::size_t given) const;
  PyErr unexpected_keyword_argument(PyObject* key) const;
  PyErr multiple_values_for_argument(std::string_view name) const;
  // Names each parameter whose slot is empty.
  PyErr missing_required_positional_arguments(std::span<const Ref> slots) const;
};

// Fills `slots`, one for each parameter, with the arguments of a call, each
// held, or returns its TypeError.
std::optional<PyErr> extract_arguments_tuple_dict(const FunctionDescription& function, PyObject* args,
                                                  PyObject* kwargs, std::span<Ref> slots);

}  // namespace provlink::python
