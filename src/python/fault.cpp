#include "fault.hpp"

#include <Python.h>

#include "compat.hpp"

namespace provlink::python {

void report_fault(const std::string& message) { write_stderr_line("provlink: internal fault: " + message); }

void panic(const std::string& message) {
  report_fault(message);
  throw Panic(message);
}

void api_call_failed() {
  PyErr_Print();
  panic("Python API call failed");
}

}  // namespace provlink::python
