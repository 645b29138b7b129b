"""What users would write instead of varnel: vectorised NumPy implementations of
the definitions (one thread: NumPy's element-wise operations do not thread),
and helpers shared by the Python benchmarks."""
import json
import os
import subprocess
import sys
import time

import numpy as np

_POP16 = np.array([bin(i).count("1") for i in range(1 << 16)], dtype=np.uint8)


def best(f, reps=3):
    t = 1e9
    for _ in range(reps):
        s = time.perf_counter()
        f()
        t = min(t, time.perf_counter() - s)
    return t


def line(name, ours, label=None, other=None):
    """Prints one timing row: our time, and with a peer (`label`, time
    `other`) the peer's time and the ratio."""
    row = f"{name:<48} ours {ours*1e3:10.3f} ms"
    if label is not None:
        row += f"   {label} {other*1e3:10.3f} ms   ratio {other/ours:8.2f}x"
    print(row)


_checks = {"made": 0, "failed": 0}


def check(name, ok, detail=""):
    """Counts one check that our result agrees with the peer's; prints a
    MISMATCH line when it does not. Returns ok."""
    _checks["made"] += 1
    if not ok:
        _checks["failed"] += 1
        print(f"MISMATCH {name}{': ' + str(detail) if detail else ''}", flush=True)
    return ok


def verdict():
    """Prints how many checks were made; the exit status of the benchmark
    (non-zero when any of them failed)."""
    if _checks["failed"]:
        print(f"{_checks['failed']} MISMATCHES in {_checks['made']} checks")
        return 1
    print(f"all {_checks['made']} checks agree")
    return 0


def load():
    with open("/proc/loadavg") as fh:
        return float(fh.read().split()[0])


def random_bits(n, seed):
    """A random table of 2^n entries as a NumPy uint8 array of 0 and 1."""
    return np.frombuffer(np.random.default_rng(seed).bytes(1 << n), dtype=np.uint8) & 1


def to_varnel(bits):
    """A Varnel object holding the table `bits` (uint8 0/1), through decode."""
    from varnel import Varnel

    n = len(bits).bit_length() - 1
    raw = Varnel.from_number(0, n).encode()
    return Varnel.decode(raw[: len(raw) - len(bits)] + bits.astype(np.uint8).tobytes())


def walsh(bits):
    """The Walsh spectrum of the sign vector (true = +1), in int32."""
    v = bits.astype(np.int32) * 2 - 1
    h = 1
    while h < len(v):
        u = v.reshape(-1, 2, h)
        a = u[:, 0, :].copy()
        u[:, 0, :] += u[:, 1, :]
        a -= u[:, 1, :]
        u[:, 1, :] = a
        h *= 2
    return v


def spectral_entropy(bits):
    n = len(bits).bit_length() - 1
    w = walsh(bits)
    c = w[w != 0].astype(np.float32) / np.float32(2.0**n)
    q = c * c
    return float(-(np.log(q) * q).sum(dtype=np.float64))


def no_linearity(bits):
    n = len(bits).bit_length() - 1
    return 2 ** (n - 1) - int(np.abs(walsh(bits)).max()) // 2


def degree(bits):
    s = np.flatnonzero(walsh(bits))
    if len(s) == 0:
        return 0
    return int((_POP16[s & 0xFFFF] + _POP16[s >> 16]).max())


def frontier_size(bits):
    t = bits.astype(bool)
    total = 0
    h = 1
    while h < len(t):
        u = t.reshape(-1, 2, h)
        total += int(np.count_nonzero(u[:, 0, :] != u[:, 1, :]))
        h *= 2
    return total


def in_child(threads, module, args):
    """Runs `module`'s child mode with the pool at `threads` threads; returns
    its JSON answer."""
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads), VARNEL_BENCH_CHILD="1")
    out = subprocess.run([sys.executable, module] + [str(a) for a in args], env=env,
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)
