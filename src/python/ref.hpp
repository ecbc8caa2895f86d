#pragma once

#include <Python.h>

#include <utility>

#include "life.hpp"

namespace provlink::python {

// Owns one strong reference, released when the handle goes (unless the
// interpreter is finalising: life.hpp). A raw PyObject* anywhere else in this
// layer is borrowed, but for the fields of a Life.
class Ref {
 public:
  Ref() noexcept = default;

  // Takes over a new reference (possibly null, as returned by a failed call).
  static Ref steal(PyObject* object) noexcept { return Ref(object); }
  // Adds a reference of its own to a borrowed object.
  static Ref borrow(PyObject* object) noexcept {
    Py_IncRef(object);
    return Ref(object);
  }

  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    Ref gone(std::move(*this));
    object_ = std::exchange(other.object_, nullptr);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (object_ != nullptr) life::release(object_);
  }

  PyObject* get() const noexcept { return object_; }
  // Hands the reference to the caller, e.g. as a call's return value.
  PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit Ref(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace provlink::python
