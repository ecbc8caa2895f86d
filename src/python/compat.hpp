#pragma once

// The four calls of CPython's 3.9 limited API that PyPy's C API lacks, with
// PyPy's stand-ins. Everything else is the same source on both.

#include <Python.h>

#include <string>

namespace provlink::python {

inline PyInterpreterState* current_interpreter() {
#ifdef PYPY_VERSION
  return PyInterpreterState_Head();  // PyPy runs one interpreter a process
#else
  return PyInterpreterState_Get();
#endif
}

// The dict that the calling interpreter keeps for extensions (borrowed), or
// null with no error set where there is none: on PyPy, which runs one
// interpreter a process, and once.
inline PyObject* interpreter_dict() {
#ifdef PYPY_VERSION
  return nullptr;
#else
  return PyInterpreterState_GetDict(PyInterpreterState_Get());
#endif
}

// New reference to the module's name, or null with the error set.
inline PyObject* module_name(PyObject* module) {
#ifdef PYPY_VERSION
  return PyObject_GetAttrString(module, "__name__");
#else
  return PyModule_GetNameObject(module);
#endif
}

// Writes one line to sys.stderr.
inline void write_stderr_line(const std::string& line) {
#ifdef PYPY_VERSION
  PySys_WriteStderr("%.900s\n", line.c_str());  // PyPy formats no more than 1000 bytes here
#else
  PySys_FormatStderr("%s\n", line.c_str());
#endif
}

}  // namespace provlink::python
