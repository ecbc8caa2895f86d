#pragma once

// Everything of the module that outlives a call, in one place: the life of
// the interpreter that uses the module, and what a thread may release when.
//
// One interpreter at a time uses the module. Its life begins at its first
// import of the module and ends with that interpreter. What the module makes
// for it (the fields of Life) is made once, by the importing thread, before
// the module is handed out, and is never released: it belongs to that
// interpreter as long as it lives, and nothing may touch it afterwards. An
// ended life is left to the end of the process, kept reachable with all it
// holds, so that memory checkers count it as in use rather than lost.
//
// Every other reference the module takes is released by the thread that
// took it, unless the interpreter is finalising. From then on a thread that
// asks for the interpreter back is ended where it stands; up to CPython 3.13
// glibc carries that out by unwinding the thread's stack, through this
// module's frames too, on a thread that no longer has a thread state. So
// once the interpreter is finalising no thread releases anything, and what a
// call holds is left to the end of the process. Whether it is finalising,
// the interpreter itself says, at the cost of a call; a release asks it only
// once the interpreter's shutdown has begun, which the threading module
// announces before finalisation begins. What Python code may run early or
// clear, the atexit module, has no say; an early announcement only makes the
// releases ask sooner.

#include <Python.h>

#include <atomic>
#include <cstdint>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace provlink::python {

// What every link's dict is made from: its keys, and with the GIL the dict of
// a link without a JUMBF reference, "uri" still to be set, since copying a
// small dict is cheaper than building one. A free-threaded CPython would take
// that one dict's lock in every copy, from every thread: there `plain` is
// null, and each dict is built anew.
struct DictParts {
  PyObject* uri = nullptr;
  PyObject* jumbf = nullptr;
  PyObject* is_embedded = nullptr;
  PyObject* plain = nullptr;
};

struct Life {
  std::int64_t interpreter = -1;  // the id of the interpreter that lives it
  PyObject* panic_exception = nullptr;
  DictParts dict_parts;
  PyObject* module = nullptr;           // once its body has run
  const Life* ended_before = nullptr;   // the lives that ended before it
};

namespace life {

// The life in progress, or null.
Life* current() noexcept;

// Begins a life for the interpreter `interpreter` unless one is in progress,
// and returns the life in progress: a new one with nothing made yet, the
// caller's own, or another interpreter's, which the caller refuses. When to
// end a life before its interpreter does, PyInit_provlink knows.
Life* begin(std::int64_t interpreter);

// Ends the life in progress, leaving it to the end of the process. Runs at
// the very end of the interpreter's finalisation, so it touches no
// interpreter.
void end() noexcept;

// The interpreter's shutdown has begun: from now on, a release asks whether
// it is finalising.
void shutdown_begins() noexcept;

// Whether this thread may release references: not once the interpreter is
// finalising.
bool may_release() noexcept;

// Set by shutdown_begins, until the next life begins.
extern std::atomic<bool> g_shutting_down;

// A release can run Python code (a __del__), and so be where the interpreter
// ends this thread; that unwinding cannot leave a destructor, and the thread
// waits, detached, until the process ends, as CPython 3.14 keeps such threads
// itself.
[[noreturn]] void park_thread() noexcept;

// Py_DecRef, where may_release.
inline void release(PyObject* object) noexcept {
  if (g_shutting_down.load(std::memory_order_acquire) && !may_release()) return;
#if defined(__GLIBCXX__)
  try {
    Py_DecRef(object);
  } catch (const abi::__forced_unwind&) {
    park_thread();
  }
#else
  Py_DecRef(object);
#endif
}

}  // namespace life
}  // namespace provlink::python
