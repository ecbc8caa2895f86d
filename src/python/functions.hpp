#pragma once

// The bodies of the module's functions: bind, convert, run the core, and make
// the result a Python object.

#include "error.hpp"
#include "link.hpp"
#include "convert.hpp"
#include "life.hpp"
#include "pyerr.hpp"

namespace provlink::python {

// Makes what every link's dict is made from, for a life of the module.
std::optional<PyErr> make_dict_parts(DictParts& parts);

// A new dict {"uri": str, "jumbf": str or None, "is_embedded": bool}. The
// link's views are of `source`'s text, where a source is given.
PyResult<Ref> to_dict(const ManifestLink& link, const HeaderValue* source);

// The ValueError that an operation's Error becomes. Its name, like the
// __pyfunction_ prefix of the bodies below, is the one the module's
// documented interface gives these parts: not a leftover, and kept.
PyErr map_err(const Error& error);

// NOLINTBEGIN(bugprone-reserved-identifier): the __pyfunction_ prefix marks the body of a Python function.
PyResult<Ref> __pyfunction_format(PyObject* args, PyObject* kwargs);
PyResult<Ref> __pyfunction_format_strict(PyObject* args, PyObject* kwargs);
PyResult<Ref> __pyfunction_encode_target(PyObject* args, PyObject* kwargs);
PyResult<Ref> __pyfunction_extract(PyObject* args, PyObject* kwargs);
PyResult<Ref> __pyfunction_locate_all(PyObject* args, PyObject* kwargs);
// NOLINTEND(bugprone-reserved-identifier)

}  // namespace provlink::python
