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
      method<"majority", R::cls, &entries::majority, "n">(),
      method<"parity", R::cls, &entries::parity, "n">(),
      method<"coprimes", R::cls, &entries::coprimes, "n">(),
      method<"primality", R::cls, &entries::primality, "n">(),
      method<"sum_is_prime", R::cls, &entries::sum_is_prime, "n">(),
      method<"clique", R::cls, &entries::clique, "n">(),
      method<"n_vars", R::shared, &entries::n_vars>(),
      method<"entanglement", R::shared, &entries::entanglement>(),
      method<"entropy", R::shared, &entries::entropy>(),
      method<"fragmentation_coefficient", R::shared, &entries::fragmentation_coefficient, "vars">(),
      method<"fragmentation_k", R::shared, &entries::fragmentation_k, "k">(),
      method<"fragmentation_spectrum", R::shared, &entries::fragmentation_profile>(),
      method<"restriction_signature", R::shared, &entries::fragmentation_profile>(),
      method<"fragmentation_profile", R::shared, &entries::fragmentation_profile>(),
      method<"fragmentation_peak", R::shared, &entries::fragmentation_peak>(),
      method<"fragmentation_delta", R::shared, &entries::fragmentation_delta>(),
      method<"fragmentation_delta2", R::shared, &entries::fragmentation_delta2>(),
      method<"equanimity_importance", R::shared, &entries::equanimity_importance>(),
      method<"entanglement_sets", R::shared, &entries::entanglement_sets>(),
      method<"entropy_sets", R::shared, &entries::entropy_sets>(),
      method<"information", R::shared, &entries::information, "vars">(),
      method<"encode", R::shared, &entries::encode>(),
      method<"decode", R::cls, &entries::decode, "raw">(),
#ifdef OPT5_HAVE_CHAINS
      method<"minimal_gates", R::shared, &entries::minimal_gates>(),
#endif
      // frontier_size and max_frontier_size take the object exclusively (the first fills the frontier cache)
      method<"frontier_size", R::exclusive, &entries::frontier_size>(),
      method<"max_frontier_size", R::exclusive, &entries::max_frontier_size>(),
      method<"table", R::shared, &entries::table, "vars">(),
#ifdef OPT5_HAVE_CHAINS
      method<"npn_representant", R::shared, &entries::npn_representant>(),
#endif
      method<"max_sensitivity", R::shared, &entries::max_sensitivity>(),
      method<"mean_sensitivity", R::shared, &entries::mean_sensitivity>(),
      method<"spectral_entropy", R::shared, &entries::spectral_entropy>(),
      method<"degree", R::shared, &entries::degree>(),
      method<"no_linearity", R::shared, &entries::no_linearity>(),
      method<"influence", R::shared, &entries::influence, "var">(),
      method<"total_influence", R::shared, &entries::total_influence>(),
      method<"certificate_complexity", R::shared, &entries::certificate_complexity>(),
      {nullptr, nullptr, 0, nullptr},
  };
  return methods;
}

}  // namespace varnel::py
