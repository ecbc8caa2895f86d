// Paths of the Python layer that no call of the five functions reaches: the
// fault boundary's handling of each kind of C++ exception, and the binding
// messages for functions of more than one parameter. Runs in an embedded
// interpreter that has imported the module, as every call finds it.

#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "python/binding.hpp"
#include "python/boundary.hpp"
#include "python/convert.hpp"
#include "python/life.hpp"

using namespace provlink::python;

extern "C" PyObject* PyInit_provlink();

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
  return take_raised(life::current()->panic_exception);
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

// Binds a call to f(a, b, c), three parameters where the module's functions
// have one, so that every form of the messages shows.
std::string bind(PyObject* args, PyObject* kwargs) {
  static constexpr std::string_view parameters[] = {"a", "b", "c"};
  const FunctionDescription f{"f", parameters};
  Ref slots[3];
  auto error = extract_arguments_tuple_dict(f, args, kwargs, slots);
  if (!error) return "bound";
  std::move(*error).restore();
  return take_raised(PyExc_TypeError);
}

void test_binding_messages() {
  PyObject* none = Py_None;
  Ref empty = Ref::steal(PyTuple_New(0));
  Ref one = Ref::steal(PyTuple_Pack(1, none));
  Ref two = Ref::steal(PyTuple_Pack(2, none, none));
  Ref four = Ref::steal(PyTuple_Pack(4, none, none, none, none));
  Ref b_and_c = Ref::steal(PyDict_New());
  PyDict_SetItemString(b_and_c.get(), "b", none);
  PyDict_SetItemString(b_and_c.get(), "c", none);
  Ref c = Ref::steal(PyDict_New());
  PyDict_SetItemString(c.get(), "c", none);

  CHECK_EQ(bind(one.get(), b_and_c.get()), "bound");
  CHECK_EQ(bind(four.get(), nullptr), "f() takes 3 positional arguments but 4 were given");
  CHECK_EQ(bind(empty.get(), nullptr), "f() missing 3 required positional arguments: 'a', 'b', and 'c'");
  CHECK_EQ(bind(one.get(), nullptr), "f() missing 2 required positional arguments: 'b' and 'c'");
  CHECK_EQ(bind(one.get(), c.get()), "f() missing 1 required positional argument: 'b'");
  CHECK_EQ(bind(two.get(), b_and_c.get()), "f() got multiple values for argument 'b'");
}

}  // namespace

int main() {
  if (PyImport_AppendInittab("provlink", PyInit_provlink) != 0) return 1;
  Py_Initialize();
  PyObject* module = PyImport_ImportModule("provlink");
  if (module == nullptr) {
    PyErr_Print();
    return 1;
  }
  Py_DecRef(module);
  test_fault_boundary();
  test_binding_messages();
  Py_Finalize();
  if (failures != 0) {
    std::fprintf(stderr, "%d checks failed\n", failures);
    return 1;
  }
  std::puts("python layer: all checks passed");
  return 0;
}
