#include "life.hpp"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

// The stable ABI of CPython 3.9 cannot ask whether the interpreter is
// finalising, yet every CPython can be asked by name.
#if !defined(PYPY_VERSION) && defined(Py_LIMITED_API) && Py_LIMITED_API + 0 < 0x030D0000 && !defined(_WIN32)
#define PROVLINK_ASKS_BY_NAME
#include <dlfcn.h>
#endif

namespace provlink::python::life {
namespace {

std::atomic<Life*> g_current{nullptr};
// The life that ended last; through it, every life that ended.
std::atomic<const Life*> g_ended{nullptr};

#ifdef PROVLINK_ASKS_BY_NAME
// Py_IsFinalizing from CPython 3.13, where the stable ABI has it;
// _Py_IsFinalizing before, what sys.is_finalizing() reads. Either reads one
// atomic field: fit for a thread that has no thread state.
using IsFinalizing = int (*)();
std::atomic<IsFinalizing> g_is_finalizing{nullptr};

IsFinalizing find_is_finalizing() noexcept {
  for (const char* name : {"Py_IsFinalizing", "_Py_IsFinalizing"}) {
    if (void* found = dlsym(RTLD_DEFAULT, name)) return reinterpret_cast<IsFinalizing>(found);
  }
  return nullptr;
}
#endif

bool interpreter_is_finalizing() noexcept {
#if defined(PYPY_VERSION)
  return false;  // PyPy ends no thread inside a call
#elif defined(PROVLINK_ASKS_BY_NAME)
  const IsFinalizing asked = g_is_finalizing.load(std::memory_order_acquire);
  return asked != nullptr && asked() != 0;
#elif defined(Py_LIMITED_API) && Py_LIMITED_API + 0 < 0x030D0000
  return false;  // Windows ends a thread without unwinding it: none of this runs there
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
#ifdef PROVLINK_ASKS_BY_NAME
  g_is_finalizing.store(find_is_finalizing(), std::memory_order_release);
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
