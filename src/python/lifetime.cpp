#include "lifetime.hpp"

#include <array>
#include <chrono>
#include <cstddef>

#include "pyerr.hpp"

namespace provlink::python {

namespace lifetime {

std::atomic<bool> g_ending{false};
std::atomic<std::thread::id> g_finalising_thread{};

void park_thread() noexcept {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace lifetime

namespace {

// The interpreter runs its atexit callbacks on the thread that finalises it,
// before any other thread can be ended.
PyObject* interpreter_ending(PyObject* /*self*/, PyObject* /*unused*/) {
  lifetime::g_finalising_thread.store(std::this_thread::get_id(), std::memory_order_relaxed);
  lifetime::g_ending.store(true, std::memory_order_release);
  Py_IncRef(Py_None);
  return Py_None;
}

PyMethodDef g_ending_definition = {"provlink_interpreter_ending", interpreter_ending, METH_NOARGS, nullptr};

// Room for the values of many lives; past that a value is only lost, which
// the end of the process does not mind. Atomic, so that no compiler takes
// the stores for dead ones: nothing reads them.
std::array<std::atomic<const void*>, 96> g_abandoned{};
std::atomic<std::size_t> g_abandoned_count{0};

}  // namespace

void abandon(const void* value) noexcept {
  if (value == nullptr) return;
  const std::size_t slot = g_abandoned_count.fetch_add(1, std::memory_order_relaxed);
  if (slot < g_abandoned.size()) g_abandoned[slot].store(value, std::memory_order_relaxed);
}

void lifetime_begins() noexcept { lifetime::g_ending.store(false, std::memory_order_release); }

std::optional<PyErr> watch_interpreter_end(void (*forget)()) {
  // Py_AtExit fails only once 32 functions are waiting: then a later
  // initialisation cannot start anew, and this life goes on as it would.
  Py_AtExit(forget);
  const Ref atexit = Ref::steal(PyImport_ImportModule("atexit"));
  if (!atexit) return PyErr::fetch();
  const Ref callback = Ref::steal(PyCFunction_NewEx(&g_ending_definition, nullptr, nullptr));
  if (!callback) return PyErr::fetch();
  const Ref registered = Ref::steal(PyObject_CallMethod(atexit.get(), "register", "O", callback.get()));
  if (!registered) return PyErr::fetch();
  return std::nullopt;
}

}  // namespace provlink::python
