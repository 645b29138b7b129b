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
    print(f"{'constructor from list of 2^20 bools':<48} ours {ours*1e3:10.3f} ms   "
          f"bytes(list) {plain*1e3:10.3f} ms   ratio {plain/ours:8.2f}x")
    ours = best(lambda: v.repr())
    raw = bytes(table)
    plain = best(lambda: [b == 1 for b in raw])
    peers.check("repr", v.repr() == [b == 1 for b in raw])
    print(f"{'repr of 2^20 entries':<48} ours {ours*1e3:10.3f} ms   "
          f"list from bytes {plain*1e3:10.3f} ms   ratio {plain/ours:8.2f}x")
    big = Varnel.from_number(0, 24)
    ours = best(lambda: big.encode())
    enc = big.encode()
    print(f"{'encode 2^24 via Python':<48} ours {ours*1e3:10.3f} ms")
    ours = best(lambda: Varnel.decode(enc))
    print(f"{'decode 2^24 via Python':<48} ours {ours*1e3:10.3f} ms")
    return peers.verdict()


if __name__ == "__main__":
    sys.exit(main())
