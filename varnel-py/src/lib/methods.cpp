// The methods of `Varnel`, one declaration each, in the order the class
// declares them. Each entry names the C++ function that does the work; the
// declaration machinery (method.hpp) handles binding, borrowing, conversion
// and failures. Methods whose data is an input of the build (the chain
// database) are registered only when the build found it.
#include "methods.hpp"

#include "entries.hpp"
#include "method.hpp"

namespace varnel::py {

PyMethodDef* varnel_methods() {
  using R = Receiver;
  static PyMethodDef methods[] = {
      method<"from_number", R::none, &entries::from_number, "number", "num_vars">(),
      method<"eval", R::shared, &entries::eval, "i">(),
      method<"repr", R::shared, &entries::repr>(),
      method<"size", R::shared, &entries::size>(),
      method<"n_vars", R::shared, &entries::n_vars>(),
      method<"encode", R::shared, &entries::encode>(),
      method<"decode", R::cls, &entries::decode, "raw">(),
#ifdef OPT5_HAVE_CHAINS
      method<"minimal_gates", R::shared, &entries::minimal_gates>(),
#endif
#ifdef OPT5_HAVE_CHAINS
      method<"npn_representant", R::shared, &entries::npn_representant>(),
#endif
      {nullptr, nullptr, 0, nullptr},
  };
  return methods;
}

}  // namespace varnel::py
