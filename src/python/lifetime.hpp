#pragma once

// The end of the interpreter's life, as the module's own code must see it.
//
// Up to CPython 3.13, a thread that wants the interpreter back once
// finalisation has begun is ended with pthread_exit, which glibc carries out
// by unwinding the thread's stack: through this module's frames too, when the
// thread is inside a call. That thread has no thread state any more, so
// nothing on the way out may touch the interpreter. Finalisation begins only
// after the interpreter's atexit callbacks have run, and one of them is ours:
// from then on, only the thread that runs them (the one finalising) releases
// references; the others leave theirs to the end of the process.

#include <Python.h>

#include <atomic>
#include <optional>
#include <thread>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace provlink::python {

class PyErr;

namespace lifetime {

extern std::atomic<bool> g_ending;
extern std::atomic<std::thread::id> g_finalising_thread;

// Ends a thread that is being unwound where the unwinding cannot go on (a
// destructor): it waits, detached from the interpreter, until the process
// ends, as CPython 3.14 does with such threads itself.
[[noreturn]] void park_thread() noexcept;

}  // namespace lifetime

// Whether this thread may still release references and run Python code.
inline bool interpreter_is_ours() noexcept {
  return !lifetime::g_ending.load(std::memory_order_acquire) ||
         lifetime::g_finalising_thread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

// Py_DecRef, unless the interpreter is ending on another thread. A release
// can run Python code (a __del__), and so can be where this thread is ended;
// a destructor must not let that unwinding through.
inline void release_reference(PyObject* object) noexcept {
  if (!interpreter_is_ours()) return;
#if defined(__GLIBCXX__)
  try {
    Py_DecRef(object);
  } catch (const abi::__forced_unwind&) {
    lifetime::park_thread();
  }
#else
  Py_DecRef(object);
#endif
}

// Keeps what the module made in an interpreter that is gone: it cannot be
// released now, and stays reachable to the end of the process, as all that
// the module ever made did before.
void abandon(const void* value) noexcept;

// A new interpreter's life begins: the module's code is its again.
void lifetime_begins() noexcept;

// Asks the interpreter to tell this module when it ends: through its atexit
// callbacks (where the above begins to hold), and with `forget` at the very
// end, after which no Python code runs and a later initialisation starts
// anew. `forget` must not touch the interpreter.
std::optional<PyErr> watch_interpreter_end(void (*forget)());

}  // namespace provlink::python
