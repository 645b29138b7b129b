"""Typed use of varnel: mypy --strict and pyright accept every line."""
# pyright: strict
from __future__ import annotations

import numpy as np
import numpy.typing as npt

from varnel import Varnel


def measures(f: Varnel) -> dict[str, float]:
    peak_k, peak_value = f.fragmentation_peak()
    values: dict[str, float] = {
        "entropy": f.entropy(),
        "entanglement": f.entanglement(),
        "information": f.information([0, 1]),
        "spectral entropy": f.spectral_entropy(),
        "influence of x0": f.influence(0),
        "peak level": peak_k,
        "peak value": peak_value,
    }
    for record in f.entropy_sets():
        values[f"H{record.set1}|{record.set2}"] = record.entropy
    for other in f.entanglement_sets():
        values[f"N{other.set1}|{other.set2}"] = other.entanglement
    return values


def circuit_size(word: int) -> int:
    gates = Varnel.from_number(word, 5).minimal_gates()
    return -1 if gates is None else gates


def representative(f: Varnel) -> Varnel | None:
    return f.npn_representant()


def restriction(f: Varnel) -> npt.NDArray[np.bool_]:
    return f.table(range(f.n_vars() // 2))


def roundtrip(f: Varnel) -> list[bool]:
    raw: bytes = f.encode()
    return Varnel.decode(raw).repr()


families: list[Varnel] = [Varnel.majority(5), Varnel.parity(4), Varnel.clique(4),
                          Varnel.coprimes(2), Varnel.primality(4), Varnel.sum_is_prime(2)]
from_numpy = Varnel(np.array([False, True, True, False]))
profile: list[float] = Varnel([False, True]).fragmentation_profile()
print(measures(families[0]), circuit_size(0x88888888), representative(families[0]),
      restriction(from_numpy).shape, roundtrip(from_numpy), profile)
