// The methods of `Varnel`, one declaration each, in the order the class
// declares them: the single index from Python name to the C++ function that
// does the work, a core operation wherever its types are the binding's
// (entries.hpp adapts the rest). The declaration machinery (method.hpp)
// handles binding, borrowing, conversion and failures. Methods whose data is
// an input of the build (the chain database) are registered only when the
// build found it.
#include "methods.hpp"

#include "encoding.hpp"
#include "entries.hpp"
#include "examples.hpp"
#include "method.hpp"
#include "metrics/certificate.hpp"
#include "metrics/entanglement.hpp"
#include "metrics/fragmentation.hpp"
#include "metrics/influence.hpp"
#include "metrics/sensitivity.hpp"
#include "metrics/spectral.hpp"
#include "optimal5.hpp"
#include "restriction.hpp"
#include "result_classes.hpp"

namespace varnel::py {

PyMethodDef* varnel_methods() {
  using R = Receiver;
  static PyMethodDef methods[] = {
      method<"from_number", R::none, &varnel::from_number, "number", "num_vars">(),
      method<"eval", R::shared, &entries::eval, "i">(),
      method<"repr", R::shared, &entries::repr>(),
      method<"size", R::shared, &entries::size>(),
      method<"majority", R::cls, &varnel::examples::majority, "n">(),
      method<"parity", R::cls, &varnel::examples::parity, "n">(),
      method<"coprimes", R::cls, &varnel::examples::coprimes, "n">(),
      method<"primality", R::cls, &varnel::examples::primality, "n">(),
      method<"sum_is_prime", R::cls, &varnel::examples::sum_is_prime, "n">(),
      method<"clique", R::cls, &varnel::examples::clique, "n">(),
      method<"n_vars", R::shared, &entries::n_vars>(),
      method<"entanglement", R::shared, &varnel::entanglement>(),
      method<"entropy", R::shared, &varnel::entropy>(),
      method<"fragmentation_coefficient", R::shared, &varnel::set_entropy, "vars">(),
      method<"fragmentation_k", R::shared, &varnel::fragmentation_k, "k">(),
      method<"fragmentation_spectrum", R::shared, &varnel::fragmentation_profile>(),
      method<"restriction_signature", R::shared, &varnel::fragmentation_profile>(),
      method<"fragmentation_profile", R::shared, &varnel::fragmentation_profile>(),
      method<"fragmentation_peak", R::shared, &varnel::fragmentation_peak>(),
      method<"fragmentation_delta", R::shared, &varnel::fragmentation_delta>(),
      method<"fragmentation_delta2", R::shared, &varnel::fragmentation_delta2>(),
      method<"equanimity_importance", R::shared, &varnel::equanimity_importance>(),
      method<"entanglement_sets", R::shared, &varnel::entanglement_sets>(),
      method<"entropy_sets", R::shared, &varnel::entropy_sets>(),
      method<"information", R::shared, &varnel::count_forms_by_multiple_fixed, "vars">(),
      method<"encode", R::shared, &entries::encode>(),
      method<"decode", R::cls, &varnel::decode, "raw">(),
#ifdef OPT5_HAVE_CHAINS
      method<"minimal_gates", R::shared, &varnel::minimal_gates>(),
#endif
      // frontier_size and max_frontier_size take the object exclusively (the first fills the
      // frontier cache)
      method<"frontier_size", R::exclusive, &entries::frontier_size>(),
      method<"max_frontier_size", R::exclusive, &entries::max_frontier_size>(),
      method<"table", R::shared, &entries::table, "vars">(),
#ifdef OPT5_HAVE_CHAINS
      method<"npn_representant", R::shared, &entries::npn_representant>(),
#endif
      method<"max_sensitivity", R::shared, &varnel::max_sensitivity>(),
      method<"mean_sensitivity", R::shared, &varnel::mean_sensitivity>(),
      method<"spectral_entropy", R::shared, &varnel::spectral_entropy>(),
      method<"degree", R::shared, &varnel::degree>(),
      method<"no_linearity", R::shared, &varnel::no_linearity>(),
      method<"influence", R::shared, &varnel::influence, "var">(),
      method<"total_influence", R::shared, &varnel::total_influence>(),
      method<"certificate_complexity", R::shared, &varnel::certificate_complexity>(),
      {nullptr, nullptr, 0, nullptr},
  };
  return methods;
}

}  // namespace varnel::py
