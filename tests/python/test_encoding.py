"""encode and decode: the byte format, its failures and a seeded fuzz run."""
import random

import pytest

from varnel import Varnel
from helpers import random_table


def outcome(raw):
    try:
        return Varnel.decode(raw).repr()
    except ValueError as e:
        assert str(e) == "Unable to decode"
        return "undecodable"
    except BaseException as e:  # PanicException
        assert type(e).__name__ == "PanicException"
        return e.args[0]


@pytest.mark.parametrize("table, raw", [
    ([True, False, False, True], b"\x04\x01\x00\x00\x01"),
    ([False], b"\x01\x00"),
    ([True], b"\x01\x01"),
])
def test_known_encodings(table, raw):
    assert Varnel(table).encode() == raw


def test_prefix_forms():
    assert Varnel.from_number(0, 8).encode()[:3] == b"\xfb\x00\x01"
    enc = Varnel.from_number(0, 16).encode()
    assert enc[:5] == b"\xfc\x00\x00\x01\x00" and len(enc) == 65536 + 5
    assert len(Varnel.from_number(0, 7).encode()) == 129


@pytest.mark.parametrize("raw, expected", [
    (b"\x02\x00\x01\xff", [False, True]),
    (b"\xfb\x02\x00\x00\x01", [False, True]),
    (b"\x02\x00\x02", "undecodable"),
    (b"\x04\x00\x01", "undecodable"),
    (b"", "undecodable"),
    (b"\xfe\x01\x00", "undecodable"),
    (b"\xff", "undecodable"),
    (b"\xfc\x01\x00", "undecodable"),
    (b"\xfd" + (2**62).to_bytes(8, "little"), "undecodable"),
    (b"\xfd" + (2**63).to_bytes(8, "little"), "capacity overflow"),
    (b"\x03\x00\x01\x00", "Invalid size"),
    (b"\x00", "Invalid size"),
])
def test_decode_cases(raw, expected):
    assert outcome(raw) == expected


def test_decode_accepts_bytes_subclass():
    class B(bytes):
        pass

    assert Varnel.decode(B(b"\x01\x01")).repr() == [True]
    assert Varnel.decode(raw=b"\x01\x01").repr() == [True]


def test_round_trip(rng):
    for n in range(0, 17):
        table = random_table(rng, n) if n < 13 else [rng.random() < 0.3 for _ in range(1 << n)]
        v = Varnel(table)
        assert Varnel.decode(v.encode()).repr() == table


def reference_decode(raw):
    if not raw:
        return "undecodable"
    pos, length = 1, raw[0]
    if 251 <= raw[0] <= 253:
        width = {251: 2, 252: 4, 253: 8}[raw[0]]
        if len(raw) < 1 + width:
            return "undecodable"
        length = int.from_bytes(raw[1:1 + width], "little")
        pos += width
    elif raw[0] > 253:
        return "undecodable"
    if length > 2**63 - 1:
        return "capacity overflow"
    body = raw[pos:pos + length]
    if len(body) < length or any(b > 1 for b in body):
        return "undecodable"
    if length == 0 or length & (length - 1):
        return "Invalid size"
    return [bool(b) for b in body]


def test_fuzz_decode(capfd):
    rng = random.Random(99)
    seeds = [Varnel([rng.random() < 0.5 for _ in range(1 << rng.randrange(0, 10))]).encode()
             for _ in range(50)]
    for i in range(20000):
        choice = rng.randrange(5)
        if choice == 0:
            raw = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 20)))
        elif choice == 1:
            raw = bytes([rng.choice([0xFB, 0xFC, 0xFD])]) + bytes(
                rng.randrange(256) for _ in range(rng.randrange(0, 12)))
        else:
            raw = bytearray(rng.choice(seeds))
            for _ in range(rng.randrange(1, 4)):
                op = rng.randrange(3)
                if op == 0 and raw:
                    raw[rng.randrange(len(raw))] = rng.randrange(256)
                elif op == 1:
                    del raw[rng.randrange(len(raw) + 1):]
                else:
                    raw.append(rng.randrange(3))
            raw = bytes(raw)
        assert outcome(raw) == reference_decode(raw), raw
    capfd.readouterr()
