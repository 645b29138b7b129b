// The Python object behind a `Varnel`: the truth table it owns, its per-object
// caches and its borrow flag.
#pragma once

#include "borrow.hpp"
#include <optional>

#include "fvalue.hpp"
#include "metrics/frontier.hpp"
#include "pyref.hpp"

namespace varnel::py {

/// The native contents of a Varnel object. The table never changes after
/// construction; caches are filled at most once.
struct VarnelData {
  FValue table;
  /// The frontier graph, built by the first frontier_size call.
  std::optional<FrontierGraph> frontier{};
};

struct VarnelObject {
  PyObject ob_base;
  BorrowFlag borrow;
  VarnelData data;
};

inline VarnelObject* as_varnel(PyObject* obj) { return reinterpret_cast<VarnelObject*>(obj); }

/// Creates the Varnel type object (once per process, at module initialisation).
PyObject* create_varnel_type();

/// A new Varnel object owning `table`, with empty caches.
PyRef new_varnel(FValue table);

}  // namespace varnel::py
