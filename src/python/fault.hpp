#pragma once

// Internal faults: a broken invariant of this module's own code, or a host
// call that failed where the module has no way on. They are reported on
// standard error and thrown; the fault boundary (boundary.hpp) alone catches
// them, and raises PanicException.

#include <exception>
#include <string>
#include <utility>

namespace provlink::python {

// Not a std::runtime_error: its constructors need a newer libstdc++ than
// manylinux2014 promises.
class Panic : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Reports an internal fault on standard error and throws it as a Panic.
[[noreturn]] void panic(const std::string& message);

// Writes a fault's report on standard error.
void report_fault(const std::string& message);

// The interpreter could not create an object this layer needs (a message, an
// argument tuple): prints the pending error and raises an internal fault.
[[noreturn]] void api_call_failed();

}  // namespace provlink::python
