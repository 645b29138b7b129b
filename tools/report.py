#!/usr/bin/env python3
"""A report of the measures on a few example functions."""
import time

from varnel import Varnel


def examples():
    yield "AND of 2", Varnel([False, False, False, True])
    yield "majority of 3", Varnel.from_number(0b1110_1000, 3)
    yield "parity of 4 (true on even)", Varnel.from_number(0b1001_0110_0110_1001, 4)
    yield "x0 xor x1 on 5 vars", Varnel([bool((i ^ (i >> 1)) & 1) for i in range(32)])


# Each measure is reported when the installed module provides it.
MEASURES = [
    ("n_vars", lambda f: f.n_vars()),
    ("size", lambda f: f.size()),
    ("encoded bytes", lambda f: len(f.encode())),
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
