#pragma once

#include <utility>
#include <variant>

namespace provlink {

// A value, or the reason there is none. Failures travel as values; exceptions
// are kept for internal faults.
template <class T, class E>
class Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

  explicit operator bool() const noexcept { return state_.index() == 0; }

  T& operator*() & { return std::get<0>(state_); }
  const T& operator*() const& { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }

  E& error() & { return std::get<1>(state_); }
  const E& error() const& { return std::get<1>(state_); }

 private:
  std::variant<T, E> state_;
};

}  // namespace provlink
