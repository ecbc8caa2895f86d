// The module object: its entry point (PyInit_provlink, or PyModExport_provlink
// for abi3t), the function table and the module body.

#include <cstdint>

#include "boundary.hpp"
#include "compat.hpp"
#include "convert.hpp"
#include "functions.hpp"
#include "life.hpp"
#include "link.hpp"

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
    panic("could not append __name__ to __all__: " + error_description(PyErr::fetch()));
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

// The key under which an interpreter's own dict records that it began a
// life of the module. A later interpreter may have the same id (the main
// interpreter of every Py_Initialize is 0), but begins with a new dict.
constexpr const char* kLifeMark = "provlink: a life began here";

// Whether the calling interpreter began the life in progress, by its mark.
PyResult<bool> began_here() {
  PyObject* dict = interpreter_dict();
  if (dict == nullptr) return true;  // none to tell lives apart by (PyPy runs one interpreter, once)
  const Ref key = Ref::steal(PyUnicode_FromString(kLifeMark));
  if (!key) return PyErr::fetch();
  if (PyDict_GetItemWithError(dict, key.get()) != nullptr) return true;
  if (PyErr_Occurred() != nullptr) return PyErr::fetch();
  return false;
}

std::optional<PyErr> mark_here() {
  PyObject* dict = interpreter_dict();
  if (dict == nullptr || PyDict_SetItemString(dict, kLifeMark, Py_True) == 0) return std::nullopt;
  return PyErr::fetch();
}

// CPython 3.12 runs the init function of a single-phase module in a
// subinterpreter that refuses such modules, and refuses it only then: the
// life begun there is no one's. The interpreter records the init function in
// the module's definition only once it has taken the module.
bool refused_where_it_began() {
#ifdef Py_TARGET_ABI3T
  return false;  // the interpreter refuses a multi-phase module before it runs a slot
#else
  return g_definition.m_base.m_init == nullptr;
#endif
}

// Ends the life in progress where it is over: an earlier interpreter of the
// calling one's id began it (this one lacks its mark), or a subinterpreter
// that was refused the module, which the main interpreter (id 0) takes over.
std::optional<PyErr> end_a_life_that_is_over(std::int64_t interpreter) {
  const Life* in_progress = life::current();
  if (in_progress == nullptr) return std::nullopt;
  if (in_progress->interpreter != interpreter) {
    if (interpreter == 0 && refused_where_it_began()) life::end();
    return std::nullopt;
  }
  auto began = began_here();
  if (!began) return std::move(began.error());
  if (!*began) life::end();
  return std::nullopt;
}

PyObject* shutdown_begins(PyObject* /*self*/, PyObject* /*unused*/) {
  life::shutdown_begins();
  return Ref::borrow(Py_None).release();
}

PyMethodDef g_shutdown_begins = {"provlink_shutdown_begins", shutdown_begins, METH_NOARGS, nullptr};

// Asks the threading module to announce the start of the interpreter's
// shutdown (life.hpp), which it does before it joins the other threads.
// Imported here if nothing did yet, so that the interpreter's end runs it.
// Where it cannot be asked (a threading without the hook, or one shutting
// down already), releases ask the interpreter from now on.
std::optional<PyErr> watch_shutdown() {
  const Ref threading = Ref::steal(PyImport_ImportModule("threading"));
  const Ref hook = Ref::steal(PyCFunction_NewEx(&g_shutdown_begins, nullptr, nullptr));
  if (!threading || !hook) return PyErr::fetch();
  if (const Ref registered = Ref::steal(PyObject_CallMethod(threading.get(), "_register_atexit", "O", hook.get()))) {
    return std::nullopt;
  }
  if (PyErr_ExceptionMatches(PyExc_Exception) == 0) return PyErr::fetch();
  PyErr_Clear();
  life::shutdown_begins();
  return std::nullopt;
}

// Makes what a new life keeps, but for the module; the dict parts last, so
// that a life has them once it has all.
std::optional<PyErr> make_life(Life& life) {
  if (auto error = mark_here()) return error;
  if (auto error = watch_shutdown()) return error;
#ifndef Py_TARGET_ABI3T
  g_definition.m_base.m_init = nullptr;  // until the interpreter takes the module in this life
#endif
  if (life.panic_exception == nullptr) life.panic_exception = make_panic_exception().release();
  return make_dict_parts(life.dict_parts);
}

PyResult<Ref> initialise() {
  const std::int64_t interpreter = PyInterpreterState_GetID(current_interpreter());
  if (interpreter == -1) return PyErr::fetch();
  if (auto error = end_a_life_that_is_over(interpreter)) return std::move(*error);
  Life* life = life::begin(interpreter);
  if (life->interpreter != interpreter) {
    return PyErr::new_lazy(PyExc_ImportError, "provlink does not yet support subinterpreters");
  }
  if (life->module != nullptr) return Ref::borrow(life->module);
  if (life->dict_parts.uri == nullptr) {
    if (auto error = make_life(*life)) return std::move(*error);
  }

  auto module = new_module();
  if (!module) return std::move(module.error());
  if (auto error = module_body(module->get())) return std::move(*error);
  life->module = module->release();
  return Ref::borrow(life->module);
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
