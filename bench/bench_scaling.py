"""1 -> 2 thread scaling of every measure that runs on the pool, through the
module: each measure is timed in a child process with RAYON_NUM_THREADS=1 and
again with 2, on the same table, with the machine's load beside each line
(other processes on the machine take cores from the two-thread run). The two
runs' results are checked to be the same."""
import json
import os
import sys

import numpy as np

import peers

# (measure, n, table): sizes that take up to a second on one thread on a quiet
# machine. The sensitivity sum behind mean sensitivity and total influence
# takes about ten milliseconds at 28 variables, the largest table that still
# sits in this processor's cache. Certificate complexity is immediate on random
# tables (a small certificate is found at once), so it runs on majority; the
# degree of a random table is its top coefficient, so it runs on a table
# without one.
CASES = [
    ("entropy", 17, "random"),
    ("entanglement", 17, "random"),
    ("fragmentation_profile", 18, "random"),
    ("certificate_complexity", 18, "majority"),
    ("spectral_entropy", 24, "random"),
    ("no_linearity", 24, "random"),
    ("degree", 24, "no top"),
    ("mean_sensitivity", 28, "random"),
    ("total_influence", 28, "random"),
]


def child(measure, n, kind):
    if kind == "majority":
        from varnel import Varnel

        v = Varnel.majority(n)
    elif kind == "no top":
        # The last variable is irrelevant, so the top coefficient is zero and
        # the degree needs the whole spectrum.
        half = peers.random_bits(n - 1, 7 + n)
        v = peers.to_varnel(np.concatenate([half, half]))
    else:
        v = peers.to_varnel(peers.random_bits(n, 7 + n))
    fn = getattr(v, measure)
    last = {}

    def run():
        last["value"] = fn()

    t = peers.best(run, reps=3)
    print(json.dumps({"t": t, "value": last["value"], "load": peers.load()}))


def main():
    print("== 1 -> 2 thread scaling of the pooled measures")
    for measure, n, kind in CASES:
        one = peers.in_child(1, __file__, [measure, n, kind])
        two = peers.in_child(2, __file__, [measure, n, kind])
        peers.check(f"{measure} n={n} {kind} on 1 and 2 threads", one["value"] == two["value"],
                    f"{one['value']} {two['value']}")
        print(f"{measure + ' n=' + str(n) + ' ' + kind:<38} 1 thread {one['t']*1e3:9.1f} ms"
              f"  2 threads {two['t']*1e3:9.1f} ms  scaling {one['t']/two['t']:4.2f}x"
              f"  (load {one['load']:.1f} / {two['load']:.1f} on {os.cpu_count()} cores)", flush=True)
    return peers.verdict()


if __name__ == "__main__":
    if os.environ.get("VARNEL_BENCH_CHILD"):
        child(sys.argv[1], int(sys.argv[2]), sys.argv[3])
    else:
        sys.exit(main())
