// The rules that compose the functions of finished classes into those of
// level r (the word is computed first; the chain only for a candidate whose
// class is not finished):
//   top-down          g OP h, cost(g) + cost(h) = r - 1 (g a representative,
//                     h any word of the smaller level's orbit);
//   substitution      G(x_k := w or NOT w), cost(G) = r - c, w of cost c;
//   shared top-down   g OP h, cost(g) + cost(h) = r, where stored chains of g
//                     and h compute a common node.
#pragma once

#include "state.hpp"

namespace chaingen {

void rule_topdown(State& st, int r);
/// Substituted functions of cost 1..cmax.
void rule_substitution(State& st, int r, int cmax);
/// g of cost r - a, h of cost a = 2..amax, with the first kh_max stored
/// chains of h's class.
void rule_shared_topdown(State& st, int r, int amax, int kh_max);

}  // namespace chaingen
