#!/usr/bin/env python3
"""A report of the measures on a few example functions."""
import time

from varnel import Varnel


def examples():
    yield "AND of 2", Varnel([False, False, False, True])
    yield "majority of 3", Varnel.from_number(0b1110_1000, 3)
    yield "parity of 4 (true on even)", Varnel.from_number(0b1001_0110_0110_1001, 4)
    yield "x0 xor x1 on 5 vars", Varnel([bool((i ^ (i >> 1)) & 1) for i in range(32)])
    yield "parity of 5 (family)", Varnel.parity(5)
    yield "majority of 5 (family)", Varnel.majority(5)
    yield "primality of 5-bit numbers", Varnel.primality(5)
    yield "triangle in a 6-vertex graph (15 vars)", Varnel.clique(6)
    yield "coprimality of two 6-bit numbers (12 vars)", Varnel.coprimes(6)


# Each measure is reported when the installed module provides it.
MEASURES = [
    ("n_vars", lambda f: f.n_vars()),
    ("size", lambda f: f.size()),
    ("encoded bytes", lambda f: len(f.encode())),
    ("information([0])", lambda f: f.information([0])),
    ("entropy", lambda f: f.entropy()),
    ("entanglement", lambda f: f.entanglement()),
    ("equanimity importance", lambda f: f.equanimity_importance()),
    ("fragmentation profile", lambda f: [round(x, 4) for x in f.fragmentation_profile()]),
    ("fragmentation peak", lambda f: f.fragmentation_peak()),
    ("spectral entropy", lambda f: f.spectral_entropy()),
    ("non-linearity", lambda f: f.no_linearity()),
    ("degree", lambda f: f.degree()),
    ("total influence", lambda f: f.total_influence()),
    ("max sensitivity", lambda f: f.max_sensitivity()),
    ("mean sensitivity", lambda f: f.mean_sensitivity()),
    ("certificate complexity", lambda f: f.certificate_complexity()),
    ("frontier size", lambda f: f.frontier_size()),
    ("max frontier size", lambda f: f.max_frontier_size()),
    ("minimal gates", lambda f: f.minimal_gates()),
    ("NPN representative (bits)", lambda f: (lambda r: None if r is None else
                                             hex(sum(1 << i for i, b in enumerate(r.repr()) if b)))(
                                                 f.npn_representant())),
]


def main():
    for name, f in examples():
        print(f"{name}")
        for label, measure in MEASURES:
            start = time.perf_counter()
            try:
                value = measure(f)
            except AttributeError:
                continue
            elapsed = (time.perf_counter() - start) * 1e3
            print(f"  {label:<28} {value!s:<30} ({elapsed:.3f} ms)")


if __name__ == "__main__":
    main()
