"""varnelkit's measures against straightforward NumPy implementations in the
same run: the Walsh spectrum, the autocorrelation and the algebraic normal
form at n = 20 (target: at least 10x), algebraic immunity per n against a
NumPy Gaussian elimination, and the time per n of the decision-tree depth and
the block sensitivity (with the largest n each reaches within a minute),
and both against the plain recursions of the tests at n = 7.
Every pair of results is checked to agree."""
import os
import random
import sys
import time

import numpy as np

from varnelkit import BooleanFunction

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "reference"))
import boolean_ref  # noqa: E402

BUDGET = 60.0  # seconds: the time a query measure may take at its largest n


# CPU time of the fastest run of the last call of best(): on a loaded machine
# the wall time mostly measures waiting, so both are printed.
_last_cpu = [0.0]


def best(f, reps=5):
    t = 1e9
    out = None
    for _ in range(reps):
        s = time.perf_counter()
        c = time.process_time()
        out = f()
        wall = time.perf_counter() - s
        if wall < t:
            t = wall
            _last_cpu[0] = time.process_time() - c
    return t, out


def compare(name, ours, theirs, label="numpy", reps=(5, 3)):
    """Times both, checks agreement with `same`, prints wall and CPU ratios."""
    t_ours, a = best(ours[0], reps[0])
    c_ours = _last_cpu[0]
    t_other, b = best(theirs, reps[1])
    c_other = _last_cpu[0]
    assert ours[1](a, b), name
    print(f"{name:<44} ours {t_ours*1e3:10.3f} ms   {label} {t_other*1e3:10.3f} ms   "
          f"ratio {t_other/t_ours:8.1f}x   (cpu ratio {c_other/max(c_ours, 1e-9):8.1f}x)",
          flush=True)


def fwht(v):
    """The in-place butterflies, one NumPy pass per variable."""
    v = v.copy()
    h = 1
    while h < v.size:
        w = v.reshape(-1, 2, h)
        a = w[:, 0, :].copy()
        w[:, 0, :] += w[:, 1, :]
        w[:, 1, :] = a - w[:, 1, :]
        h *= 2
    return v


def numpy_walsh(bits):
    return fwht(np.where(bits, 1, -1).astype(np.int64))


def numpy_autocorrelation(bits):
    w = numpy_walsh(bits)
    return fwht(w * w) >> (bits.size.bit_length() - 1)


def numpy_anf(bits):
    v = bits.astype(np.uint8)
    h = 1
    while h < v.size:
        w = v.reshape(-1, 2, h)
        w[:, 1, :] ^= w[:, 0, :]
        h *= 2
    return v


def numpy_annihilator_degree(bits, value):
    """Gaussian elimination over GF(2) on packed rows (one row per point, one
    bit column per monomial in degree order), degree by degree."""
    n = bits.size.bit_length() - 1
    points = np.flatnonzero(bits == value)
    if points.size == 0:
        return 0
    monomials = sorted(range(1 << n), key=lambda u: (bin(u).count("1"), u))
    for d in range(n + 1):
        cols = [u for u in monomials if bin(u).count("1") <= d]
        m = np.array([(points & u) == u for u in cols], dtype=np.uint8)  # monomial x point
        rank = 0
        rows = m.copy()
        for c in range(rows.shape[1]):
            pivot = np.flatnonzero(rows[rank:, c])
            if pivot.size == 0:
                continue
            p = rank + pivot[0]
            rows[[rank, p]] = rows[[p, rank]]
            hit = np.flatnonzero(rows[:, c])
            hit = hit[hit != rank]
            rows[hit] ^= rows[rank]
            rank += 1
            if rank == rows.shape[0]:
                break
        if rank < len(cols):
            return d
    return n + 1


def numpy_algebraic_immunity(bits):
    return min(numpy_annihilator_degree(bits, True), numpy_annihilator_degree(bits, False))


def random_function(n, seed):
    return BooleanFunction.from_int(random.Random(seed).getrandbits(1 << n), n)


def random_dnf(n, seed):
    """An OR of n random terms of n // 3 literals: uniformly random functions
    have an input with every variable sensitive (bs = n, found at once), these
    do not."""
    rng = random.Random(seed)
    x = np.arange(1 << n)
    out = np.zeros(1 << n, dtype=bool)
    for _ in range(n):
        term = np.ones(1 << n, dtype=bool)
        for v in rng.sample(range(n), max(2, n // 3)):
            term &= ((x >> v) & 1) == rng.randrange(2)
        out |= term
    return BooleanFunction(out)


def main():
    rng = np.random.default_rng(20)
    n = 20
    bits = rng.integers(0, 2, 1 << n).astype(bool)
    f = BooleanFunction(bits)
    f.packed  # the packed table is made once per function and kept
    print(f"# random function, n = {n}")
    compare("walsh_spectrum n=20", (f.walsh_spectrum, np.array_equal),
            lambda: numpy_walsh(bits))
    compare("autocorrelation n=20", (f.autocorrelation, np.array_equal),
            lambda: numpy_autocorrelation(bits))
    compare("anf n=20", (lambda: f.anf().packed, lambda a, b: np.array_equal(
        np.unpackbits(a.view(np.uint8), bitorder="little"), b)), lambda: numpy_anf(bits))

    print("# algebraic immunity of random functions (numpy: Gaussian elimination per degree)")
    for n in range(6, 15):
        g = BooleanFunction(np.random.default_rng(n).integers(0, 2, 1 << n).astype(bool))
        if n <= 9:
            compare(f"algebraic_immunity n={n} (AI={g.algebraic_immunity()})",
                    (g.algebraic_immunity, int.__eq__),
                    lambda: numpy_algebraic_immunity(np.asarray(g)), reps=(3, 1))
        else:
            t, ai = best(g.algebraic_immunity, 1)
            print(f"{f'algebraic_immunity n={n} (AI={ai})':<44} ours {t*1e3:10.3f} ms"
                  f"   (cpu {_last_cpu[0]*1e3:10.3f} ms)", flush=True)

    print("# query complexity against the plain recursions of tests/reference (Python)")
    for name, n in (("decision_tree_depth", 7), ("block_sensitivity", 7)):
        g = random_dnf(n, n)
        compare(f"{name} n={n} (value {getattr(g, name)()})", (getattr(g, name), int.__eq__),
                lambda: getattr(boolean_ref, name)([int(b) for b in g]), "plain", (3, 1))

    print(f"# query complexity: time per n (stops after a run over {BUDGET / 4:.0f} s)")
    for name, family, make, start, stop in (
            ("decision_tree_depth", "random", random_function, 10, 18),
            ("block_sensitivity", "random DNF", random_dnf, 8, 24),
            ("block_sensitivity", "majority", lambda n, seed: BooleanFunction.majority(n), 8, 24)):
        reached = None
        for n in range(start, stop + 1):
            g = make(n, n)
            t, value = best(getattr(g, name), 1)
            cpu = _last_cpu[0]
            print(f"{f'{name} {family} n={n} (value {value})':<44} ours {t*1e3:10.3f} ms"
                  f"   (cpu {cpu*1e3:10.3f} ms, all threads)", flush=True)
            if t > BUDGET:
                break
            reached = n
            if t > BUDGET / 4:  # the next n takes several times longer
                break
        print(f"{name} ({family}): largest n within {BUDGET:.0f} s here: {reached}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
