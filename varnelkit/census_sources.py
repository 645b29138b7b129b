"""Where the functions of a census come from, spelled as on the command line.

- a family over sizes: ``majority:9``, ``majority:3..21``, ``parity:2,4,8..10``
  (families: parity, majority, primality, coprimes, sum_is_prime, clique);
- seeded random tables: ``random:n=16,count=200,seed=1`` (or ``index=I`` for
  the I-th table of that stream alone);
- the NPN classes of five-input functions: ``npn5`` (with a sample size,
  a seeded uniform sample of the classes);
- one table: ``0xe8`` (hex, most significant nibble first, so the same word
  as ``Varnel.from_number(0xE8, 3)``) or ``0b11101000`` (bits, likewise);
- a file of tables, one per line (hex or bits; ``#`` starts a comment) or a
  sequence of ``Varnel.encode`` records; ``-`` reads standard input.

A source hands out chunks: packed tables of one size with the identity of
each function (its index in the source, its hex table or the spelling that
rebuilds it, and the orbit size for NPN classes).
"""

from __future__ import annotations

import re
import sys
from dataclasses import dataclass
from typing import Callable, Iterator, Sequence

import numpy as np

from varnel import Varnel

from ._packed import _prefix_size, n_words, to_packed

__all__ = [
    "Chunk",
    "FAMILIES",
    "MAX_VARS",
    "Source",
    "SourceError",
    "npn5_catalogue",
    "parse_source",
]

MAX_VARS = 30
HEX_IDENTITY_VARS = 8

# Family name -> (number of variables for the parameter, largest parameter).
FAMILIES: dict[str, tuple[Callable[[int], int], int]] = {
    "parity": (lambda n: n, 62),
    "majority": (lambda n: n, 62),
    "primality": (lambda n: n, 62),
    "coprimes": (lambda n: 2 * n, 31),
    "sum_is_prime": (lambda n: 2 * n, 15),
    "clique": (lambda n: n * (n - 1) // 2, 11),
}


class SourceError(ValueError):
    """A source that cannot be read: the message is one line for the user."""


@dataclass
class Chunk:
    """Functions of one source and one size, ready to be measured."""

    source: str
    n: int
    indices: list[int]
    packed: bytes  # n_words(n) little-endian 64-bit words per function
    functions: list[str]
    orbit_sizes: list[int] | None = None

    def __len__(self) -> int:
        return len(self.indices)

    def without(self, done: set[int]) -> "Chunk | None":
        """The chunk less the functions whose index is in ``done``."""
        keep = [i for i, idx in enumerate(self.indices) if idx not in done]
        if len(keep) == len(self.indices):
            return self
        if not keep:
            return None
        size = 8 * n_words(self.n)
        packed = b"".join(self.packed[i * size:(i + 1) * size] for i in keep)
        orbits = None if self.orbit_sizes is None else [self.orbit_sizes[i] for i in keep]
        return Chunk(self.source, self.n, [self.indices[i] for i in keep], packed,
                     [self.functions[i] for i in keep], orbits)


class Source:
    """A named sequence of functions."""

    spelling: str
    npn: bool = False

    def sizes(self) -> list[int]:
        raise NotImplementedError

    def total(self) -> int:
        raise NotImplementedError

    def chunks(self, chunk_size: Callable[[int], int]) -> Iterator[Chunk]:
        raise NotImplementedError


def table_text(value: int, n: int) -> str:
    """The table of ``n`` variables whose entry i is bit i of ``value``, as
    hex (most significant nibble first), or as bits below two variables."""
    if n < 2:
        return f"0b{value:0{1 << n}b}"
    return f"0x{value:0{(1 << n) // 4}x}"


def _packed_int(packed: bytes, n: int) -> int:
    return int.from_bytes(packed, "little") & ((1 << (1 << n)) - 1)


def _packed_of(v: Varnel) -> bytes:
    return to_packed(v).tobytes()


# Families ------------------------------------------------------------------

def _parse_sizes(text: str, spelling: str) -> list[int]:
    sizes: list[int] = []
    for part in text.split(","):
        m = re.fullmatch(r"(\d+)(?:\.\.(\d+))?", part.strip())
        if not m:
            raise SourceError(f"{spelling!r}: expected sizes such as 9, 3..21 or 2,4,8..10")
        lo = int(m.group(1))
        hi = int(m.group(2)) if m.group(2) else lo
        if hi < lo:
            raise SourceError(f"{spelling!r}: empty range {lo}..{hi}")
        sizes.extend(range(lo, hi + 1))
    return sizes


class FamilySource(Source):
    def __init__(self, spelling: str, family: str, params: list[int]):
        self.spelling = spelling
        self.family = family
        self.params = params
        variables, largest = FAMILIES[family]
        for p in params:
            if p > largest or variables(p) > MAX_VARS:
                raise SourceError(
                    f"{family}:{p} has {variables(p)} variables: at most {MAX_VARS} are "
                    f"supported (a table of 2^{MAX_VARS} entries takes 1 GiB)")
        self._variables = variables

    def sizes(self) -> list[int]:
        return sorted({self._variables(p) for p in self.params})

    def total(self) -> int:
        return len(self.params)

    def chunks(self, chunk_size):
        build = getattr(Varnel, self.family)
        for i, p in enumerate(self.params):
            v = build(p)
            yield Chunk(self.spelling, v.n_vars(), [i], _packed_of(v), [f"{self.family}:{p}"])


# Random tables -------------------------------------------------------------

class RandomSource(Source):
    """Tables drawn from one seeded stream: table i is the i-th run of
    n_words(n) 64-bit words of NumPy's default generator for that seed."""

    def __init__(self, spelling: str, n: int, count: int, seed: int, first: int = 0):
        if n > MAX_VARS:
            raise SourceError(f"{spelling!r}: at most {MAX_VARS} variables are supported")
        self.spelling = spelling
        self.n, self.count, self.seed, self.first = n, count, seed, first

    def sizes(self):
        return [self.n]

    def total(self):
        return self.count

    def chunks(self, chunk_size):
        n, w = self.n, n_words(self.n)
        rng = np.random.default_rng(self.seed)
        mask = np.uint64((1 << (1 << n)) - 1) if n < 6 else None
        if self.first:
            skip = self.first
            while skip:
                step = min(skip, 1 << 16)
                rng.integers(0, 1 << 64, size=step * w, dtype=np.uint64)
                skip -= step
        step = max(1, chunk_size(n))
        done = 0
        while done < self.count:
            k = min(step, self.count - done)
            words = rng.integers(0, 1 << 64, size=k * w, dtype=np.uint64)
            if mask is not None:
                words &= mask
            packed = words.astype("<u8").tobytes()
            indices = list(range(self.first + done, self.first + done + k))
            yield Chunk(self.spelling, n, indices, packed, self._names(packed, indices))
            done += k

    def _names(self, packed: bytes, indices: list[int]) -> list[str]:
        if self.n <= HEX_IDENTITY_VARS:
            size = 8 * n_words(self.n)
            return [table_text(_packed_int(packed[j * size:(j + 1) * size], self.n), self.n)
                    for j in range(len(indices))]
        return [f"random:n={self.n},seed={self.seed},index={i}" for i in indices]


def _parse_random(spelling: str, body: str) -> RandomSource:
    fields: dict[str, int] = {}
    for part in body.split(","):
        m = re.fullmatch(r"\s*(n|count|seed|index)\s*=\s*(\d+)\s*", part)
        if not m:
            raise SourceError(f"{spelling!r}: expected random:n=N,count=C,seed=S "
                              f"(or index=I for one table)")
        fields[m.group(1)] = int(m.group(2))
    if "n" not in fields:
        raise SourceError(f"{spelling!r}: the number of variables n= is missing")
    if "index" in fields and "count" in fields:
        raise SourceError(f"{spelling!r}: give count= or index=, not both")
    seed = fields.get("seed", 0)
    if "index" in fields:
        return RandomSource(spelling, fields["n"], 1, seed, fields["index"])
    return RandomSource(spelling, fields["n"], fields.get("count", 1), seed)


# Five-input NPN classes ----------------------------------------------------

def npn5_catalogue(sample: int | None = None, seed: int = 0) -> tuple[np.ndarray, np.ndarray]:
    """The classes of five-input functions, as (class numbers, records with
    fields representative, gates, orbit_size); a seeded uniform sample of
    ``sample`` classes when given."""
    from .npn import npn5_classes

    classes = npn5_classes()
    numbers = np.arange(classes.size)
    if sample is not None and sample < classes.size:
        rng = np.random.default_rng(seed)
        numbers = np.sort(rng.choice(classes.size, size=sample, replace=False))
        classes = classes[numbers]
    return numbers, classes


class NPN5Source(Source):
    npn = True

    def __init__(self, spelling: str, sample: int | None, seed: int):
        self.spelling = spelling
        self.numbers, self.classes = npn5_catalogue(sample, seed)

    def sizes(self):
        return [5]

    def total(self):
        return int(self.classes.size)

    def chunks(self, chunk_size):
        step = max(1, chunk_size(5))
        reps = self.classes["representative"].astype("<u8")
        orbits = self.classes["orbit_size"]
        for lo in range(0, reps.size, step):
            hi = min(lo + step, reps.size)
            words = reps[lo:hi]
            yield Chunk(self.spelling, 5, self.numbers[lo:hi].tolist(), words.tobytes(),
                        [f"0x{w:08x}" for w in words.tolist()], orbits[lo:hi].tolist())


# Tables given as text or bytes ---------------------------------------------

def _log2_exact(length: int) -> int | None:
    if length <= 0 or length & (length - 1):
        return None
    return length.bit_length() - 1


def parse_table(text: str, fmt: str = "auto") -> tuple[int, int]:
    """(value, n) of one table written as hex or bits; ValueError if bad."""
    t = text.strip().lower().replace("_", "")
    if t.startswith("0x"):
        fmt, t = "hex", t[2:]
    elif t.startswith("0b"):
        fmt, t = "bits", t[2:]
    elif fmt == "auto":
        fmt = "hex"
    if not t:
        raise ValueError(f"{text.strip()!r} is an empty table")
    if fmt == "bits":
        if not set(t) <= {"0", "1"}:
            raise ValueError(f"{text.strip()!r} is not a table of bits")
        n = _log2_exact(len(t))
        if n is None:
            raise ValueError(f"{text.strip()!r} has {len(t)} entries, not a power of two")
        return int(t, 2), n
    if not re.fullmatch(r"[0-9a-f]+", t):
        raise ValueError(f"{text.strip()!r} is not a hex table")
    n = _log2_exact(4 * len(t))
    if n is None:
        raise ValueError(f"{text.strip()!r} has {4 * len(t)} entries, not a power of two")
    return int(t, 16), n


def _value_packed(value: int, n: int) -> bytes:
    return value.to_bytes(8 * n_words(n), "little")


@dataclass
class _Record:
    index: int
    n: int
    packed: bytes
    name: str


class TableSource(Source):
    """Tables given one by one: a file, standard input, or a single word."""

    def __init__(self, spelling: str, records: list[_Record]):
        self.spelling = spelling
        self.records = records

    def sizes(self):
        return sorted({r.n for r in self.records})

    def total(self):
        return len(self.records)

    def chunks(self, chunk_size):
        i = 0
        recs = self.records
        while i < len(recs):
            n = recs[i].n
            step = max(1, chunk_size(n))
            j = i
            while j < len(recs) and j - i < step and recs[j].n == n:
                j += 1
            part = recs[i:j]
            yield Chunk(self.spelling, n, [r.index for r in part],
                        b"".join(r.packed for r in part), [r.name for r in part])
            i = j


def _record(index: int, value: int, n: int) -> _Record:
    if n > MAX_VARS:
        raise ValueError(f"a table of {n} variables: at most {MAX_VARS} are supported")
    return _Record(index, n, _value_packed(value, n), table_text(value, n))


def _text_records(text: str, fmt: str, where: str, skip_bad: bool, warn) -> list[_Record]:
    lines = []
    for number, line in enumerate(text.splitlines(), 1):
        body = line.split("#", 1)[0].strip()
        if body:
            lines.append((number, body))
    if fmt == "auto":
        bare = [b for _, b in lines if not b.lower().startswith(("0x", "0b"))]
        fmt = "bits" if bare and all(set(b) <= {"0", "1"} for b in bare) else "hex"
    out = []
    for index, (number, body) in enumerate(lines):
        try:
            value, n = parse_table(body, fmt)
            out.append(_record(index, value, n))
        except ValueError as exc:
            message = f"{where}, line {number}: {exc}"
            if not skip_bad:
                raise SourceError(message + " (--skip-bad skips bad lines)") from None
            warn(f"skipped {message}")
    return out


def _encoded_records(data: bytes, where: str, skip_bad: bool, warn) -> list[_Record]:
    out = []
    pos = 0
    index = 0
    while pos < len(data):
        start = pos
        head = _prefix_size(data[pos])
        if pos + head > len(data):
            raise SourceError(f"{where}: record {index + 1} is cut short at byte {start}")
        if head == 1:
            length = data[pos]
        else:
            length = int.from_bytes(data[pos + 1:pos + head], "little")
        pos += head
        body = data[pos:pos + length]
        pos += length
        if len(body) < length:
            raise SourceError(f"{where}: record {index + 1} is cut short at byte {start}")
        problem = None
        n = _log2_exact(length)
        if n is None:
            problem = f"{length} entries, not a power of two"
        elif body.strip(b"\x00\x01"):
            problem = "entries other than 0 and 1"
        elif n > MAX_VARS:
            problem = f"{n} variables: at most {MAX_VARS} are supported"
        if problem:
            message = f"{where}: record {index + 1} (byte {start}): {problem}"
            if not skip_bad:
                raise SourceError(message + " (--skip-bad skips bad records)")
            warn(f"skipped {message}")
        else:
            assert n is not None
            bits = np.packbits(np.frombuffer(body, dtype=np.uint8), bitorder="little")
            packed = bits.tobytes().ljust(8 * n_words(n), b"\x00")
            out.append(_Record(index, n, packed, table_text(_packed_int(packed, n), n)))
        index += 1
    return out


def _looks_encoded(data: bytes) -> bool:
    head = data[:4096]
    return b"\x00" in head or b"\x01" in head


def read_tables(data: bytes, where: str, fmt: str = "auto", skip_bad: bool = False,
                warn=None) -> list[_Record]:
    warn = warn or (lambda message: print(message, file=sys.stderr))
    if fmt == "encode" or (fmt == "auto" and _looks_encoded(data)):
        return _encoded_records(data, where, skip_bad, warn)
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        raise SourceError(f"{where}: not a text file of tables (nor encode records)") from None
    return _text_records(text, fmt, where, skip_bad, warn)


# Spellings -----------------------------------------------------------------

def parse_source(spelling: str, *, sample: int | None = None, seed: int = 0,
                 fmt: str = "auto", skip_bad: bool = False, warn=None,
                 stdin=None) -> Source:
    """The source a command-line spelling names; SourceError if it names none."""
    s = spelling.strip()
    if s == "npn5":
        return NPN5Source(s, sample, seed)
    if s == "-":
        stream = stdin if stdin is not None else sys.stdin.buffer
        return TableSource("-", read_tables(stream.read(), "<stdin>", fmt, skip_bad, warn))
    if s.lower().startswith(("0x", "0b")):
        try:
            value, n = parse_table(s)
            return TableSource(s, [_record(0, value, n)])
        except ValueError as exc:
            raise SourceError(str(exc)) from None
    m = re.fullmatch(r"([A-Za-z_][A-Za-z0-9_]*):(.*)", s)
    if m and m.group(1) == "random":
        return _parse_random(s, m.group(2))
    if m and m.group(1) in FAMILIES:
        return FamilySource(s, m.group(1), _parse_sizes(m.group(2), s))
    try:
        with open(s, "rb") as fh:
            data = fh.read()
    except FileNotFoundError:
        if m:
            raise SourceError(f"unknown family {m.group(1)!r} (families: "
                              f"{', '.join(FAMILIES)}, random)") from None
        raise SourceError(f"{s!r} is not a source: not a family such as majority:9, "
                          f"random:..., npn5, a 0x or 0b table, nor an existing file") from None
    except OSError as exc:
        raise SourceError(f"cannot read {s}: {exc.strerror}") from None
    return TableSource(s, read_tables(data, s, fmt, skip_bad, warn))


def parse_sources(spellings: Sequence[str], **options) -> list[Source]:
    sources = [parse_source(s, **options) for s in spellings]
    seen = set()
    for src in sources:
        if src.spelling in seen:
            raise SourceError(f"source {src.spelling!r} is given twice")
        seen.add(src.spelling)
    if options.get("sample") is not None and not any(src.npn for src in sources):
        raise SourceError("--sample applies to the npn5 source only")
    return sources

