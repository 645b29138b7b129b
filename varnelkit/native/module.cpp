// The entry point of `varnelkit._native`, the companion package's native
// module. It reuses the binding machinery of `varnel` (method declarations,
// argument conversion, the failure translator) and calls the core and opt5
// libraries directly; functions cross from Python as 32-bit words or as
// packed tables in buffers, never as `Varnel` objects.
#include "errors.hpp"
#include "functions.hpp"

namespace varnelkit::native {
namespace {

using varnel::py::guard;
using varnel::py::PyRef;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "varnelkit._native",
    "Native kernels of varnelkit; use the functions of the varnelkit package.",
    0,
    functions(),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace varnelkit::native

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__native() {
  return varnel::py::guard([]() -> PyObject* {
    return varnel::py::PyRef::checked(PyModule_Create(&varnelkit::native::g_module_def)).release();
  });
}
