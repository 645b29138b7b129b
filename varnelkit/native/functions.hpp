// The function table of `varnelkit._native`.
#pragma once

#include "python.hpp"

namespace varnelkit::native {

/// The module's functions, terminated by a zeroed entry; built once.
PyMethodDef* functions();

}  // namespace varnelkit::native
