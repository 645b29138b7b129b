// The methods of `Varnel`, one declaration each, in the order the class
// declares them. Each entry names the C++ function that does the work; the
// declaration machinery (method.hpp) handles binding, borrowing, conversion
// and failures.
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
      method<"entanglement", R::shared, &entries::entanglement>(),
      method<"entropy", R::shared, &entries::entropy>(),
      method<"fragmentation_coefficient", R::shared, &entries::fragmentation_coefficient, "vars">(),
      method<"equanimity_importance", R::shared, &entries::equanimity_importance>(),
      method<"entanglement_sets", R::shared, &entries::entanglement_sets>(),
      method<"entropy_sets", R::shared, &entries::entropy_sets>(),
      method<"information", R::shared, &entries::information, "vars">(),
      method<"encode", R::shared, &entries::encode>(),
      method<"decode", R::cls, &entries::decode, "raw">(),
      method<"table", R::shared, &entries::table, "vars">(),
      {nullptr, nullptr, 0, nullptr},
  };
  return methods;
}

}  // namespace varnel::py
