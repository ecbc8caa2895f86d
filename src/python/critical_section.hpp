#pragma once

#include <Python.h>

namespace provlink::python {

// Holds an object's own lock for a scope. On a free-threaded CPython another
// thread may change a list or a dict while a call reads it; inside the scope
// that thread waits. What runs inside must neither run Python code nor wait
// on a lock, or the interpreter suspends the section. The GIL build has no
// such lock and needs none: while a call holds the GIL and runs no Python
// code, no other thread runs.
class CriticalSection {
 public:
#ifdef Py_GIL_DISABLED
  // Not noexcept: a thread that waits for the lock detaches, and one that
  // comes back once the interpreter is finalising is ended there (life.hpp).
  explicit CriticalSection(PyObject* object) { PyCriticalSection_Begin(&section_, object); }
  ~CriticalSection() { PyCriticalSection_End(&section_); }
#else
  explicit CriticalSection(PyObject* /*object*/) noexcept {}
#endif
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

#ifdef Py_GIL_DISABLED
 private:
  PyCriticalSection section_;
#endif
};

}  // namespace provlink::python
