#include "binding.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "critical_section.hpp"

namespace provlink::python {
namespace {

PyErr type_error(std::string message) { return PyErr::new_lazy(PyExc_TypeError, std::move(message)); }

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
void push_parameter_list(std::string& out, std::span<const std::string_view> names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) out += ',';
      out += (i + 1 == names.size()) ? " and " : " ";
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
}

// The position of `name` among the parameters, if it is one of them.
std::optional<std::size_t> find_parameter(std::span<const std::string_view> names, std::string_view name) {
  const auto found = std::ranges::find(names, name);
  if (found == names.end()) return std::nullopt;
  return static_cast<std::size_t>(found - names.begin());
}

// The entries of a keyword dict in its order, each held. Only a C caller can
// share such a dict with another thread; it is read under its lock all the
// same, as it stood at one moment.
std::vector<std::pair<Ref, Ref>> keyword_items(PyObject* kwargs) {
  std::vector<std::pair<Ref, Ref>> items;
  const CriticalSection lock(kwargs);
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  while (PyDict_Next(kwargs, &position, &key, &value) != 0) items.emplace_back(Ref::borrow(key), Ref::borrow(value));
  return items;
}

}  // namespace

std::string FunctionDescription::full_name() const { return std::string(func_name) + "()"; }

PyErr FunctionDescription::too_many_positional_arguments(std::size_t given) const {
  return type_error(full_name() + " takes " + std::to_string(positional_parameter_names.size()) +
                    " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given");
}

PyErr FunctionDescription::unexpected_keyword_argument(PyObject* key) const {
  return type_error(full_name() + " got an unexpected keyword argument '" + display_text(key) + "'");
}

PyErr FunctionDescription::multiple_values_for_argument(std::string_view name) const {
  return type_error(full_name() + " got multiple values for argument '" + std::string(name) + "'");
}

PyErr FunctionDescription::missing_required_positional_arguments(std::span<const Ref> slots) const {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < positional_parameter_names.size(); ++i) {
    if (!slots[i]) missing.push_back(positional_parameter_names[i]);
  }
  std::string message = full_name() + " missing " + std::to_string(missing.size()) + " required positional " +
                        (missing.size() == 1 ? "argument: " : "arguments: ");
  push_parameter_list(message, missing);
  return type_error(std::move(message));
}

std::optional<PyErr> extract_arguments_tuple_dict(const FunctionDescription& function, PyObject* args,
                                                  PyObject* kwargs, std::span<Ref> slots) {
  const std::size_t positional = function.positional_parameter_names.size();
  const auto given = static_cast<std::size_t>(PyTuple_Size(args));
  for (std::size_t i = 0; i < std::min(given, positional); ++i) {
    slots[i] = Ref::borrow(PyTuple_GetItem(args, static_cast<Py_ssize_t>(i)));
  }
  if (given > positional) return function.too_many_positional_arguments(given);

  if (kwargs != nullptr) {
    for (auto& [key, value] : keyword_items(kwargs)) {
      const std::optional<std::string> name = keyword_name(key.get());
      const auto index = name ? find_parameter(function.positional_parameter_names, *name) : std::nullopt;
      if (!index) return function.unexpected_keyword_argument(key.get());
      if (slots[*index]) return function.multiple_values_for_argument(function.positional_parameter_names[*index]);
      slots[*index] = std::move(value);
    }
  }
  const auto empty = [](const Ref& slot) { return !slot; };
  if (std::ranges::any_of(slots.first(positional), empty)) return function.missing_required_positional_arguments(slots);
  return std::nullopt;
}

}  // namespace provlink::python
