// An embedding application that starts the interpreter, imports provlink,
// calls it and finalises the interpreter, four times over in one process:
// each life gets a module of its own that works, and releases what its calls
// take. In the second and third lives the application has taken all of
// Py_AtExit's places before the import, so that nothing is called at the end
// of those lives: the next one is still told from them.

#include <Python.h>

#include <cstdio>

extern "C" PyObject* PyInit_provlink();

namespace {

void nothing() {}

constexpr const char* kUseTheModule = R"(
import sys
import provlink
assert provlink.format("a b") == '<a%20b>; rel="c2pa-manifest"', provlink.format("a b")
assert provlink.format_strict("/m.c2pa") == '</m.c2pa>; rel="c2pa-manifest"'
assert provlink.encode_target("é") == "%C3%A9"
link = {"uri": "m.c2pa#jumbf=c2pa", "jumbf": "c2pa", "is_embedded": True}
assert provlink.extract(["<m.c2pa#jumbf=c2pa>; rel=c2pa-manifest"]) == link
assert provlink.locate_all(["<m.c2pa#jumbf=c2pa>; rel=c2pa-manifest"]) == [link]
try:
    provlink.extract(["<a>; rel=c2pa-manifest, <b>; rel=c2pa-manifest"])
except ValueError as error:
    assert str(error) == "more than one c2pa-manifest target was advertised"
first = sys.modules.pop("provlink")
import provlink
assert provlink is first
value = "".join(["<m.c2pa>; rel=c2pa-manifest", " "])
before = sys.getrefcount(value)
for _ in range(1000):
    provlink.extract([value])
assert sys.getrefcount(value) == before, sys.getrefcount(value) - before
print("life", LIFE, "of", sys.version.split()[0] + ":", provlink.format("a b"), provlink.extract(["</m>; rel=c2pa-manifest"]))
)";

}  // namespace

int main() {
  constexpr int kLives = 4;
  for (int life = 1; life <= kLives; ++life) {
    // The table of built-in modules is the interpreter's: name ours again in each life.
    if (PyImport_AppendInittab("provlink", PyInit_provlink) != 0) return 1;
    Py_Initialize();
    if (life == 2 || life == 3) {
      while (Py_AtExit(nothing) == 0) {
      }
    }
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* number = PyLong_FromLong(life);
    PyDict_SetItemString(globals, "LIFE", number);
    Py_DecRef(number);
    PyObject* code = Py_CompileString(kUseTheModule, "lifetimes_test", Py_file_input);
    PyObject* result = code != nullptr ? PyEval_EvalCode(code, globals, globals) : nullptr;
    if (result == nullptr) PyErr_Print();
    Py_DecRef(result);
    Py_DecRef(code);
    if (Py_FinalizeEx() != 0 || result == nullptr) {
      std::fprintf(stderr, "life %d failed\n", life);
      return 1;
    }
  }
  std::printf("%d lives of the interpreter: all checks passed\n", kLives);
  return 0;
}
