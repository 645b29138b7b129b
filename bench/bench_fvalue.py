"""Binding-level timings of the truth table: construction from a list of 2^20
bools and repr of 2^20 entries, against building the same data as a bytes
object of one byte per entry (the floor for any per-item conversion). Both
sides' results are checked to hold the same entries."""
import random
import sys

from varnel import Varnel

import peers
from peers import best as _best


def best(f, reps=5):
    return _best(f, reps)


def main():
    rng = random.Random(5)
    table = [rng.random() < 0.5 for _ in range(1 << 20)]
    v = Varnel(table)
    ours = best(lambda: Varnel(table))
    plain = best(lambda: bytes(table))
    # The encoding ends with one byte per entry.
    peers.check("constructor from list", Varnel(table).encode()[-len(table):] == bytes(table))
    peers.line("constructor from list of 2^20 bools", ours, "bytes(list)", plain)
    ours = best(lambda: v.repr())
    raw = bytes(table)
    plain = best(lambda: [b == 1 for b in raw])
    peers.check("repr", v.repr() == [b == 1 for b in raw])
    peers.line("repr of 2^20 entries", ours, "list from bytes", plain)
    big = Varnel.from_number(0, 24)
    ours = best(lambda: big.encode())
    enc = big.encode()
    peers.line("encode 2^24 via Python", ours)
    ours = best(lambda: Varnel.decode(enc))
    peers.line("decode 2^24 via Python", ours)
    return peers.verdict()


if __name__ == "__main__":
    sys.exit(main())
