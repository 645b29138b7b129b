"""varnelkit's five-input layer from Python: optimal_circuit per call, and the
array functions on 2^22 random words against the one-at-a-time function
(npn_canonize in a Python loop over a sample), with an agreement check.

Each figure is given by the wall clock and by the processor time of the
process (all threads): on a shared machine the wall clock also counts other
processes' turns."""
import time

import numpy as np

import varnelkit
from varnel import Varnel


def best(f, reps=3):
    """Least wall-clock and least processor seconds of reps runs of f."""
    wall = cpu = 1e9
    for _ in range(reps):
        w, c = time.perf_counter(), time.process_time()
        f()
        wall = min(wall, time.perf_counter() - w)
        cpu = min(cpu, time.process_time() - c)
    return wall, cpu


def main():
    if not varnelkit._native.has_chain_database():
        print("built without the chain database: nothing to time")
        return
    start = time.perf_counter()
    varnelkit.npn5_classes()
    print(f"{'catalogue, first call':<36} {1e3 * (time.perf_counter() - start):8.1f} ms")
    rng = np.random.default_rng(20261208)
    words = rng.integers(0, 1 << 32, size=1 << 22, dtype=np.uint32)
    few = [int(w) for w in words[:20000]]

    def circuits():
        for w in few:
            varnelkit.optimal_circuit(w)

    def counts():
        for v in varnels:
            v.minimal_gates()

    varnels = [Varnel.from_number(w, 5) for w in few]
    wall, cpu = best(circuits)
    cwall, ccpu = best(counts)
    n = len(few)
    print(f"{'optimal_circuit(int), per call':<36} {wall / n * 1e6:8.2f} us (cpu {cpu / n * 1e6:5.2f} us)"
          f"   Varnel.minimal_gates() {cwall / n * 1e6:5.2f} us (cpu {ccpu / n * 1e6:5.2f} us)")

    one = [varnelkit.npn_canonize(w) for w in few]
    pwall, pcpu = best(lambda: [varnelkit.npn_canonize(w) for w in few])
    reps, ts = varnelkit.npn_canonize_many(words)
    assert [int(r) for r in reps[:n]] == [r for r, _ in one]
    assert all((tuple(int(p) for p in ts[i]["permutation"]), int(ts[i]["input_complement"]),
                bool(ts[i]["output_complement"])) == one[i][1] for i in range(n))
    gates = varnelkit.minimal_gates_many(words)
    assert [int(g) for g in gates[:n]] == [v.minimal_gates() for v in varnels]
    classes = varnelkit.npn_class_indices(words)
    assert np.array_equal(varnelkit.npn5_classes()["representative"][classes], reps)
    print(f"one at a time (npn_canonize loop)    {n / pwall / 1e6:8.2f} M/s (cpu {n / pcpu / 1e6:5.2f} M/s)")
    for name, fn in [("npn_canonize_many", varnelkit.npn_canonize_many),
                     ("npn_representatives", varnelkit.npn_representatives),
                     ("minimal_gates_many", varnelkit.minimal_gates_many),
                     ("npn_class_indices", varnelkit.npn_class_indices)]:
        wall, cpu = best(lambda: fn(words))
        m = words.size
        print(f"{name + ' (2^22)':<36} {m / wall / 1e6:8.1f} M/s   ratio {pwall / n / (wall / m):6.1f}x"
              f"   cpu {cpu / m * 1e9:5.1f} ns/word (2 threads: {2e-6 * m / cpu:5.1f} M/s)")


if __name__ == "__main__":
    main()
