// The module object: its entry point (PyInit_provlink, or PyModExport_provlink
// for abi3t), the function table and the module body.

#include <atomic>
#include <cstdint>

#include "boundary.hpp"
#include "compat.hpp"
#include "convert.hpp"
#include "functions.hpp"
#include "lifetime.hpp"
#include "link.hpp"
#include "write_once.hpp"

namespace provlink::python {
namespace {

constexpr const char* kFormatDoc =
    "format(uri)\n--\n\n"
    "Build a `Link` header value advertising `uri` as the C2PA Manifest Store.\n\n"
    "The target is percent-encoded, so any input yields a safe header: a CR/LF\n"
    "becomes `%0D%0A` and can no longer start a header of its own. Only an empty\n"
    "target raises.";

constexpr const char* kFormatStrictDoc =
    "format_strict(uri)\n--\n\n"
    "As `format`, but raises rather than repairing a target that is not already a\n"
    "valid URI reference.\n\n"
    "Use this when the target comes from configuration, where a silent `%20`\n"
    "would hide a typo until it surfaced as a 404.";

constexpr const char* kEncodeTargetDoc =
    "encode_target(uri)\n--\n\n"
    "Percent-encode the bytes that cannot appear literally in a URI reference.\n\n"
    "Idempotent: `%` is left alone, so an already-encoded URI is not\n"
    "double-encoded.";

constexpr const char* kExtractDoc =
    "extract(values)\n--\n\n"
    "The single `c2pa-manifest` link across the given `Link` header values, or\n"
    "`None` when none is advertised.\n\n"
    "Accepts a list of header values, since a response may carry several `Link`\n"
    "fields and each may hold several comma-separated links. Returns a dict with\n"
    "`uri`, `jumbf`, and `is_embedded`.\n\n"
    "Raises `ValueError` when genuinely competing targets are advertised: the\n"
    "specification defines no precedence between them, so choosing one would\n"
    "invent a rule.";

constexpr const char* kLocateAllDoc =
    "locate_all(values)\n--\n\n"
    "Every `c2pa-manifest` link across the given `Link` header values, in order.";

using Body = PyResult<Ref> (*)(PyObject* args, PyObject* kwargs);

template <Body body>
PyObject* entry_point(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
  return trampoline([args, kwargs] { return body(args, kwargs); });
}

template <Body body>
PyCFunction method() {
  // METH_KEYWORDS functions are stored under the two-argument type.
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry_point<body>));
}

// Each function object keeps a pointer to its record, so the table lives as
// long as the process.
PyMethodDef g_methods[] = {
    {"format", method<__pyfunction_format>(), METH_VARARGS | METH_KEYWORDS, kFormatDoc},
    {"format_strict", method<__pyfunction_format_strict>(), METH_VARARGS | METH_KEYWORDS, kFormatStrictDoc},
    {"encode_target", method<__pyfunction_encode_target>(), METH_VARARGS | METH_KEYWORDS, kEncodeTargetDoc},
    {"extract", method<__pyfunction_extract>(), METH_VARARGS | METH_KEYWORDS, kExtractDoc},
    {"locate_all", method<__pyfunction_locate_all>(), METH_VARARGS | METH_KEYWORDS, kLocateAllDoc},
};

#ifndef Py_TARGET_ABI3T
// The interpreter writes into the base of a single-phase module's record.
PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT, "provlink", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};
#endif

// The interpreter that first initialised the module; -1 until then, and
// again once that interpreter is gone.
std::atomic<std::int64_t> g_interpreter{-1};
// The module every initialisation in that interpreter returns.
WriteOnce<PyObject> g_module;

// Called at the very end of the interpreter's finalisation, which has set
// the module's attributes to None: a later Py_Initialize makes the module
// anew.
void forget_interpreter() {
  abandon(g_module.take());
  forget_panic_exception_type();
  forget_dict_parts();
  g_interpreter.store(-1);
}

// The module's __all__, created when the first name is added.
PyResult<Ref> all_list(PyObject* module) {
  Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
  if (all) {
    if ((PyType_GetFlags(Py_TYPE(all.get())) & Py_TPFLAGS_LIST_SUBCLASS) == 0) {
      return downcast_error(all.get(), "PyList");
    }
    return all;
  }
  PyErr error = PyErr::fetch();
  if (PyErr_GivenExceptionMatches(error.type(), PyExc_AttributeError) == 0) return error;
  Ref created = Ref::steal(PyList_New(0));
  if (!created || PyObject_SetAttrString(module, "__all__", created.get()) != 0) return PyErr::fetch();
  return created;
}

// Records `name` in __all__, then sets the attribute.
std::optional<PyErr> add_named_value(PyObject* module, PyObject* name, PyObject* value) {
  auto all = all_list(module);
  if (!all) return std::move(all.error());
  if (PyList_Append(all->get(), name) != 0) {
    panic("could not append __name__ to __all__: " + PyErr::fetch().description());
  }
  if (PyObject_SetAttr(module, name, value) != 0) return PyErr::fetch();
  return std::nullopt;
}

std::optional<PyErr> add_function(PyObject* module, PyMethodDef& definition) {
  Ref owner = Ref::steal(module_name(module));
  if (!owner) return PyErr::fetch();
  Ref function = Ref::steal(PyCMethod_New(&definition, module, owner.get(), nullptr));
  if (!function) return PyErr::fetch();
  Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return PyErr::fetch();
  if (!is_str(name.get())) return downcast_error(name.get(), "PyString");
  return add_named_value(module, name.get(), function.get());
}

std::optional<PyErr> add_constant(PyObject* module, std::string_view name, std::string_view value) {
  Ref name_str = Ref::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
  if (!name_str) api_call_failed();
  Ref value_str = Ref::steal(PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size())));
  if (!value_str) api_call_failed();
  return add_named_value(module, name_str.get(), value_str.get());
}

// Puts the functions and constants on a new module, in the order __all__ lists them.
std::optional<PyErr> module_body(PyObject* module) {
  for (PyMethodDef& definition : g_methods) {
    if (auto error = add_function(module, definition)) return error;
  }
  if (auto error = add_constant(module, "REL", kManifestRel)) return error;
  return add_constant(module, "__version__", PROVLINK_VERSION);
}

// A new module named provlink, with the empty str as its __doc__ and nothing else.
PyResult<Ref> new_module() {
#ifdef Py_TARGET_ABI3T
  // abi3t has no module definition record.
  Ref module = Ref::steal(PyModule_New("provlink"));
  if (!module || PyModule_SetDocString(module.get(), "") != 0) return PyErr::fetch();
#else
  Ref module = Ref::steal(PyModule_Create2(&g_definition, 3));
  if (!module) return PyErr::fetch();
#endif
#if defined(Py_GIL_DISABLED) && !defined(Py_LIMITED_API)
  // Else a free-threaded CPython takes the GIL back when the module is
  // imported. (abi3t says so in its slots.)
  if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_NOT_USED) != 0) return PyErr::fetch();
#endif
  return module;
}

PyResult<Ref> initialise() {
  const std::int64_t interpreter = PyInterpreterState_GetID(current_interpreter());
  if (interpreter == -1) return PyErr::fetch();
  std::int64_t first = -1;
  if (g_interpreter.compare_exchange_strong(first, interpreter)) {
    lifetime_begins();
  } else if (first != interpreter) {
    return PyErr::new_lazy(PyExc_ImportError, "provlink does not yet support subinterpreters");
  }
  if (PyObject* module = g_module.get()) return Ref::borrow(module);

  auto module = new_module();
  if (!module) return std::move(module.error());
  if (auto error = module_body(module->get())) return std::move(*error);
  if (auto error = watch_interpreter_end(forget_interpreter)) return std::move(*error);
  return Ref::borrow(g_module.publish(std::move(*module)));
}

#ifdef Py_TARGET_ABI3T
PyABIInfo_VAR(g_abi);

PyObject* create(PyObject* /*spec*/, PyModuleDef* /*definition*/) { return trampoline(initialise); }

// abi3t describes the module by slots. The create slot makes it as
// PyInit_provlink does, so that a re-import returns the same module. The
// interpreter itself refuses an isolated subinterpreter before it is called;
// initialise refuses every other interpreter but the first.
PySlot g_slots[] = {
    PySlot_PTR(Py_mod_abi, &g_abi),
    PySlot_PTR(Py_mod_create, create),
    PySlot_PTR(Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED),
    PySlot_PTR(Py_mod_gil, Py_MOD_GIL_NOT_USED),
    PySlot_END,
};
#endif

}  // namespace
}  // namespace provlink::python

#ifdef Py_TARGET_ABI3T
PyMODEXPORT_FUNC PyModExport_provlink() { return provlink::python::g_slots; }
#else
PyMODINIT_FUNC PyInit_provlink() { return provlink::python::trampoline(provlink::python::initialise); }
#endif
