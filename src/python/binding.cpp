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

// The position of `name` in `names`, if it is there.
template <class Names, class NameOf>
std::optional<std::size_t> find_name(const Names& names, std::string_view name, NameOf name_of) {
  const auto found = std::find_if(names.begin(), names.end(), [&](const auto& entry) { return name_of(entry) == name; });
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

std::string FunctionDescription::full_name() const {
  std::string name;
  if (cls_name) {
    name += *cls_name;
    name += '.';
  }
  name += func_name;
  name += "()";
  return name;
}

PyErr FunctionDescription::too_many_positional_arguments(std::size_t given) const {
  const std::size_t positional = positional_parameter_names.size();
  std::string expected = std::to_string(positional);
  if (required_positional_parameters != positional) {
    expected = "from " + std::to_string(required_positional_parameters) + " to " + expected;
  }
  return type_error(full_name() + " takes " + expected + " positional arguments but " + std::to_string(given) +
                    (given == 1 ? " was" : " were") + " given");
}

PyErr FunctionDescription::unexpected_keyword_argument(PyObject* key) const {
  return type_error(full_name() + " got an unexpected keyword argument '" + display_text(key) + "'");
}

PyErr FunctionDescription::multiple_values_for_argument(std::string_view name) const {
  return type_error(full_name() + " got multiple values for argument '" + std::string(name) + "'");
}

PyErr FunctionDescription::positional_only_passed_as_keyword(std::span<const std::string_view> names) const {
  std::string message = full_name() + " got some positional-only arguments passed as keyword arguments: ";
  push_parameter_list(message, names);
  return type_error(std::move(message));
}

PyErr FunctionDescription::missing_required_positional_arguments(std::span<const Ref> slots) const {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < required_positional_parameters; ++i) {
    if (!slots[i]) missing.push_back(positional_parameter_names[i]);
  }
  return missing_required_arguments("positional", missing);
}

PyErr FunctionDescription::missing_required_keyword_arguments(std::span<const Ref> keyword_slots) const {
  std::vector<std::string_view> missing;
  for (std::size_t i = 0; i < keyword_only_parameters.size(); ++i) {
    if (keyword_only_parameters[i].required && !keyword_slots[i]) {
      missing.push_back(keyword_only_parameters[i].name);
    }
  }
  return missing_required_arguments("keyword", missing);
}

PyErr FunctionDescription::missing_required_arguments(std::string_view kind,
                                                      std::span<const std::string_view> names) const {
  std::string message = full_name() + " missing " + std::to_string(names.size()) + " required " +
                        std::string(kind) + (names.size() == 1 ? " argument: " : " arguments: ");
  push_parameter_list(message, names);
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

  const std::span<Ref> keyword_slots = slots.subspan(positional);
  if (kwargs != nullptr) {
    std::vector<std::string_view> misused;
    for (auto& [key, value] : keyword_items(kwargs)) {
      const std::optional<std::string> name = keyword_name(key.get());
      if (!name) return function.unexpected_keyword_argument(key.get());

      const auto keyword_only = find_name(function.keyword_only_parameters, *name,
                                          [](const KeywordOnlyParameterDescription& p) { return p.name; });
      if (keyword_only) {
        if (keyword_slots[*keyword_only]) {
          return function.multiple_values_for_argument(function.keyword_only_parameters[*keyword_only].name);
        }
        keyword_slots[*keyword_only] = std::move(value);
        continue;
      }
      const auto index = find_name(function.positional_parameter_names, *name, [](std::string_view p) { return p; });
      if (!index) return function.unexpected_keyword_argument(key.get());
      const std::string_view parameter = function.positional_parameter_names[*index];
      if (*index < function.positional_only_parameters) {
        misused.push_back(parameter);
      } else if (slots[*index]) {
        return function.multiple_values_for_argument(parameter);
      } else {
        slots[*index] = std::move(value);
      }
    }
    if (!misused.empty()) return function.positional_only_passed_as_keyword(misused);
  }

  const std::size_t required = function.required_positional_parameters;
  const auto unfilled = [](const Ref& slot) { return !slot; };
  if (given < required && std::ranges::any_of(slots.subspan(given, required - given), unfilled)) {
    return function.missing_required_positional_arguments(slots);
  }
  for (std::size_t i = 0; i < function.keyword_only_parameters.size(); ++i) {
    if (function.keyword_only_parameters[i].required && !keyword_slots[i]) {
      return function.missing_required_keyword_arguments(keyword_slots);
    }
  }
  return std::nullopt;
}

}  // namespace provlink::python
