// Paths of the Python layer that no call of the five functions reaches: the
// fault boundary's handling of each kind of C++ exception, and the binding of
// parameter kinds the functions do not have. Runs in an embedded interpreter.

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "python/binding.hpp"
#include "python/boundary.hpp"
#include "python/convert.hpp"

using namespace provlink::python;

namespace {

int failures = 0;

void check(bool ok, const std::string& what, int line) {
  if (ok) return;
  std::fprintf(stderr, "python_layer_test.cpp:%d: failed: %s\n", line, what.c_str());
  ++failures;
}
void check_equal(const std::string& actual, const std::string& expected, int line) {
  check(actual == expected, "expected: " + expected + "\n  got:      " + actual, line);
}

#define CHECK(condition) check((condition), #condition, __LINE__)
#define CHECK_EQ(actual, expected) check_equal((actual), (expected), __LINE__)

// The pending exception's type and str(), cleared; "" when none is pending.
std::string take_raised(PyObject* expected_type) {
  if (PyErr_Occurred() == nullptr) return "";
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  const bool matches = type == expected_type;
  std::string text = matches ? display_text(value) : "<other type: " + display_text(type) + ">";
  Py_DecRef(type);
  Py_DecRef(value);
  Py_DecRef(traceback);
  return text;
}

template <class Fault>
std::string panic_of(Fault fault) {
  PyObject* result = trampoline([&]() -> PyResult<Ref> { throw fault; });
  CHECK(result == nullptr);
  return take_raised(panic_exception_type());
}

void test_fault_boundary() {
  CHECK_EQ(panic_of(std::runtime_error("index out of range")), "index out of range");
  CHECK_EQ(panic_of(Panic("already reported")), "already reported");
  CHECK_EQ(panic_of(42), "provlink's native code failed with an internal fault");
  CHECK_EQ(panic_of(std::string("not an exception class")),
           "provlink's native code failed with an internal fault");

  PyObject* result = trampoline([]() -> PyResult<Ref> { throw std::bad_alloc(); });
  CHECK(result == nullptr);
  CHECK(PyErr_ExceptionMatches(PyExc_MemoryError));
  PyErr_Clear();

  result = trampoline([]() -> PyResult<Ref> { return PyErr::new_lazy(PyExc_KeyError, "k"); });
  CHECK(result == nullptr);
  CHECK_EQ(take_raised(PyExc_KeyError), "'k'");

  result = trampoline([]() -> PyResult<Ref> { return new_str("fine"); });
  CHECK(result != nullptr && PyErr_Occurred() == nullptr);
  CHECK_EQ(display_text(result), "fine");
  Py_DecRef(result);

  // A C-API failure that left no exception behind.
  CHECK(trampoline([]() -> PyResult<Ref> { return PyErr::fetch(); }) == nullptr);
  CHECK_EQ(take_raised(PyExc_SystemError), "attempted to fetch exception but none was set");
}

// Binds a call to f(a, b=?, c=?, /, d=?, *, k, o=?): a and b required, a and
// b positional-only, k a required keyword-only parameter.
std::string bind(const FunctionDescription& function, PyObject* args, PyObject* kwargs) {
  Ref slots[6];
  auto error = extract_arguments_tuple_dict(function, args, kwargs, slots);
  if (!error) return "bound";
  std::move(*error).restore();
  return take_raised(PyExc_TypeError);
}

void test_general_binding() {
  static constexpr std::string_view positional[] = {"a", "b", "c", "d"};
  static constexpr KeywordOnlyParameterDescription keyword_only[] = {{"k", true}, {"o", false}};
  const FunctionDescription f{"f", positional, keyword_only, std::nullopt, 2, 2};
  const FunctionDescription method{"m", positional, keyword_only, "Outer", 2, 3};

  PyObject* none = Py_None;
  Ref empty = Ref::steal(PyTuple_New(0));
  Ref two = Ref::steal(PyTuple_Pack(2, none, none));
  Ref one = Ref::steal(PyTuple_Pack(1, none));
  Ref five = Ref::steal(PyTuple_Pack(5, none, none, none, none, none));
  Ref keywords = Ref::steal(PyDict_New());
  PyDict_SetItemString(keywords.get(), "k", none);
  Ref misused = Ref::steal(PyDict_New());
  PyDict_SetItemString(misused.get(), "a", none);
  PyDict_SetItemString(misused.get(), "b", none);
  PyDict_SetItemString(misused.get(), "k", none);
  Ref twice = Ref::steal(PyDict_New());
  PyDict_SetItemString(twice.get(), "c", none);
  Ref keyword_again = Ref::steal(PyDict_New());
  PyDict_SetItemString(keyword_again.get(), "d", none);
  PyDict_SetItemString(keyword_again.get(), "k", none);

  CHECK_EQ(bind(f, two.get(), keywords.get()), "bound");
  CHECK_EQ(bind(f, five.get(), nullptr), "f() takes from 2 to 4 positional arguments but 5 were given");
  CHECK_EQ(bind(method, five.get(), nullptr), "Outer.m() takes from 3 to 4 positional arguments but 5 were given");
  CHECK_EQ(bind(f, empty.get(), keywords.get()), "f() missing 2 required positional arguments: 'a' and 'b'");
  CHECK_EQ(bind(method, one.get(), keywords.get()),
           "Outer.m() missing 2 required positional arguments: 'b' and 'c'");
  CHECK_EQ(bind(f, two.get(), nullptr), "f() missing 1 required keyword argument: 'k'");
  CHECK_EQ(bind(f, two.get(), misused.get()),
           "f() got some positional-only arguments passed as keyword arguments: 'a' and 'b'");
  CHECK_EQ(bind(f, five.get(), twice.get()), "f() takes from 2 to 4 positional arguments but 5 were given");
  Ref three = Ref::steal(PyTuple_Pack(3, none, none, none));
  CHECK_EQ(bind(f, three.get(), twice.get()), "f() got multiple values for argument 'c'");
  CHECK_EQ(bind(f, two.get(), keyword_again.get()), "bound");

  static constexpr std::string_view abc[] = {"a", "b", "c"};
  const FunctionDescription three_required{"g", abc, {}, std::nullopt, 0, 3};
  CHECK_EQ(bind(three_required, empty.get(), nullptr), "g() missing 3 required positional arguments: 'a', 'b', and 'c'");
}

}  // namespace

int main() {
  Py_Initialize();
  test_fault_boundary();
  test_general_binding();
  Py_Finalize();
  if (failures != 0) {
    std::fprintf(stderr, "%d checks failed\n", failures);
    return 1;
  }
  std::puts("python layer: all checks passed");
  return 0;
}
