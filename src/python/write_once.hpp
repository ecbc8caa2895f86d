#pragma once

// Process-wide state that is made at most once in an interpreter's life and
// never released: the module, the PanicException type, the parts of a link's
// dict. On a
// free-threaded CPython nothing holds threads apart while they make it, so
// the first value published wins and a thread that loses the race drops its
// own. Nobody waits: a C++ guard would block a thread while it is attached to
// the interpreter, and with it a stop-the-world pause.

#include <atomic>

namespace provlink::python {

template <class T>
class WriteOnce {
 public:
  // The published value, or null while there is none.
  T* get() const noexcept { return value_.load(std::memory_order_acquire); }

  // Publishes what `made` owns (a Ref, a std::unique_ptr) unless a value is
  // there already, in which case `made` goes; returns the value that stays.
  template <class Owner>
  T* publish(Owner made) noexcept {
    T* stored = nullptr;
    if (value_.compare_exchange_strong(stored, made.get(), std::memory_order_acq_rel, std::memory_order_acquire)) {
      return made.release();
    }
    return stored;
  }

  // Empties the cell and hands its value, or null, to the caller: the
  // interpreter it belongs to is gone.
  T* take() noexcept { return value_.exchange(nullptr, std::memory_order_acq_rel); }

 private:
  std::atomic<T*> value_{nullptr};
};

}  // namespace provlink::python
