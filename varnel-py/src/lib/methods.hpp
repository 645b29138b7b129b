// The method table of `Varnel`.
#pragma once

#include "python.hpp"

namespace varnel::py {

/// The methods of Varnel in declaration order, NULL-terminated; built on the
/// first call (at module initialisation).
PyMethodDef* varnel_methods();

}  // namespace varnel::py
