"""varnelkit's five-input layer from Python: optimal_circuit per call, and the
array functions on 2^22 random words against the one-at-a-time functions
(a Python loop over a sample), with an agreement check."""
import time

import numpy as np

import varnelkit
from varnel import Varnel


def best(f, reps=3):
    t = 1e9
    for _ in range(reps):
        s = time.perf_counter()
        f()
        t = min(t, time.perf_counter() - s)
    return t


def main():
    if not varnelkit._native.has_chain_database():
        print("built without the chain database: nothing to time")
        return
    start = time.perf_counter()
    varnelkit.npn5_classes()
    print(f"{'catalogue, first call':<44} {1e3 * (time.perf_counter() - start):10.1f} ms")
    rng = np.random.default_rng(20261208)
    words = rng.integers(0, 1 << 32, size=1 << 22, dtype=np.uint32)
    few = [int(w) for w in words[:20000]]

    ours = best(lambda: [varnelkit.optimal_circuit(w) for w in few]) / len(few)
    varnels = [Varnel.from_number(w, 5) for w in few[:5000]]
    count = best(lambda: [v.minimal_gates() for v in varnels]) / len(varnels)
    print(f"{'optimal_circuit(int), per call':<44} {ours * 1e6:10.2f} us   "
          f"Varnel.minimal_gates() {count * 1e6:6.2f} us")

    one = [varnelkit.npn_canonize(w) for w in few]
    plain = best(lambda: [varnelkit.npn_canonize(w) for w in few]) / len(few)
    cases = [
        ("npn_canonize_many", varnelkit.npn_canonize_many),
        ("npn_representatives", varnelkit.npn_representatives),
        ("minimal_gates_many", varnelkit.minimal_gates_many),
        ("npn_class_indices", varnelkit.npn_class_indices),
    ]
    reps, ts = varnelkit.npn_canonize_many(words)
    assert [int(r) for r in reps[:len(few)]] == [r for r, _ in one]
    assert all(tuple(int(p) for p in ts[i]["permutation"]) == tuple(one[i][1].permutation)
               for i in range(len(few)))
    gates = varnelkit.minimal_gates_many(words)
    assert [int(g) for g in gates[:len(varnels)]] == [v.minimal_gates() for v in varnels]
    for name, fn in cases:
        t = best(lambda: fn(words)) / words.size
        print(f"{name + ' (2^22 words)':<44} {1e-6 / t:10.1f} M/s   one at a time "
              f"{1e-6 / plain:6.2f} M/s   ratio {plain / t:8.1f}x")


if __name__ == "__main__":
    main()
