"""Influence and total influence at 24 variables, one thread each: ours
(counts on the packed table) against a vectorised NumPy implementation of the
definition (the fraction of inputs whose value changes when a variable is
flipped, on one byte per entry), with the ratio. The two results must agree
bit for bit. The pool is held to one thread (total influence runs on it)."""
import os
import sys

os.environ["RAYON_NUM_THREADS"] = "1"

import numpy as np  # noqa: E402

from varnel import Varnel  # noqa: E402

import peers  # noqa: E402
from peers import best as _best  # noqa: E402


def best(f, reps=5):
    return _best(f, reps)


def numpy_changes(table, var):
    pairs = table.reshape(-1, 2, 1 << var)
    return 2 * int(np.count_nonzero(pairs[:, 0, :] != pairs[:, 1, :]))


def numpy_influence(table, n, var):
    return np.float32(numpy_changes(table, var) / 2**n)


def numpy_total_influence(table, n):
    return np.float32(sum(numpy_changes(table, var) for var in range(n)) / 2**n)


def line(name, ours, peer):
    print(f"{name:<48} ours {ours*1e3:10.3f} ms   numpy {peer*1e3:10.3f} ms   "
          f"ratio {peer/ours:8.1f}x", flush=True)


def main():
    n = 24
    rng = np.random.default_rng(24)
    table = rng.random(1 << n) < 0.5
    v = Varnel(table)
    print(f"== influence, n = {n} (random), one thread")
    for var in (0, 5, 12, 23):
        ours = best(lambda: v.influence(var))
        peer = best(lambda: numpy_influence(table, n, var), reps=3)
        got, want = np.float32(v.influence(var)), numpy_influence(table, n, var)
        peers.check(f"influence({var})", got.tobytes() == want.tobytes(), f"{got} {want}")
        line(f"influence({var})", ours, peer)
    ours = best(lambda: v.total_influence())
    peer = best(lambda: numpy_total_influence(table, n), reps=2)
    got, want = np.float32(v.total_influence()), numpy_total_influence(table, n)
    peers.check("total_influence", got.tobytes() == want.tobytes(), f"{got} {want}")
    line("total_influence", ours, peer)
    return peers.verdict()


if __name__ == "__main__":
    sys.exit(main())
