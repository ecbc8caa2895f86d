#include "life.hpp"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#if !defined(PYPY_VERSION) && defined(Py_LIMITED_API) && Py_LIMITED_API + 0 < 0x030D0000
#define PROVLINK_ASKS_SYS
#endif

namespace provlink::python::life {
namespace {

std::atomic<Life*> g_current{nullptr};
// The life that ended last; through it, every life that ended.
std::atomic<const Life*> g_ended{nullptr};

#ifdef PROVLINK_ASKS_SYS
// The stable ABI of CPython 3.9 has no call that says whether the
// interpreter is finalising, but sys.is_finalizing says: its C function
// reads one atomic field and returns True or False, and touches no thread
// state, so a thread that has none may call it. The reference it returns is
// left alone: True and False are immortal from CPython 3.12 on, and before,
// a count raced on by such a thread is off by one, far from zero.
std::atomic<PyCFunction> g_is_finalizing{nullptr};
std::atomic<PyObject*> g_sys{nullptr};

void find_is_finalizing() noexcept {
  PyObject* asked = PySys_GetObject("is_finalizing");
  if (asked == nullptr || PyCFunction_Check(asked) == 0 || PyCFunction_GetFlags(asked) != METH_NOARGS) {
    g_is_finalizing.store(nullptr, std::memory_order_release);
    return;
  }
  g_sys.store(PyCFunction_GetSelf(asked), std::memory_order_relaxed);
  g_is_finalizing.store(PyCFunction_GetFunction(asked), std::memory_order_release);
}
#endif

bool interpreter_is_finalizing() noexcept {
#if defined(PYPY_VERSION)
  return false;  // PyPy ends no thread inside a call
#elif defined(PROVLINK_ASKS_SYS)
  const PyCFunction asked = g_is_finalizing.load(std::memory_order_acquire);
  // A sys.is_finalizing replaced by Python code cannot be asked: then the
  // interpreter is taken to be finalising from the start of its shutdown.
  return asked == nullptr || asked(g_sys.load(std::memory_order_relaxed), nullptr) == Py_True;
#else
  return Py_IsFinalizing() != 0;
#endif
}

}  // namespace

std::atomic<bool> g_shutting_down{false};

void park_thread() noexcept {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

Life* current() noexcept { return g_current.load(std::memory_order_acquire); }

Life* begin(std::int64_t interpreter) {
  auto made = std::make_unique<Life>();
  made->interpreter = interpreter;
  Life* in_progress = nullptr;
  if (!g_current.compare_exchange_strong(in_progress, made.get(), std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
    return in_progress;
  }
  g_shutting_down.store(false, std::memory_order_release);
  // Each life asks for the call at the end of its interpreter's
  // finalisation. Its 32 places may all be taken; then the next import ends
  // the life instead (PyInit_provlink).
  Py_AtExit(end);
#ifdef PROVLINK_ASKS_SYS
  find_is_finalizing();
#endif
  return made.release();
}

void end() noexcept {
  Life* ended = g_current.exchange(nullptr, std::memory_order_acq_rel);
  if (ended == nullptr) return;
  const Life* before = g_ended.load(std::memory_order_acquire);
  do {
    ended->ended_before = before;
  } while (!g_ended.compare_exchange_weak(before, ended, std::memory_order_acq_rel, std::memory_order_acquire));
}

void shutdown_begins() noexcept { g_shutting_down.store(true, std::memory_order_release); }

bool may_release() noexcept {
  return !g_shutting_down.load(std::memory_order_acquire) || !interpreter_is_finalizing();
}

}  // namespace provlink::python::life
