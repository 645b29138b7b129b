"""What a census adds up to: the five-input summary by gate count, and the
per-size means of the other sources, gathered as rows arrive.

For the NPN classes of five inputs every class stands for its whole orbit,
so counts and means are weighted by orbit size and describe all 2^32
functions (or, for a sample of classes, the functions of those classes).
The joint distribution of (gate count, value) is kept per measure; it gives
the means, the rank correlation and the plot.
"""

from __future__ import annotations

import math
from typing import Iterable

import numpy as np

from .census_output import Layout, transpose
from .census_sources import Chunk

__all__ = ["CensusStats", "weighted_spearman", "GATES"]

GATES = 13  # minimum gate counts 0..12
_GATE_COLUMN = "minimal_gates"
_PROFILE = "fragmentation_profile"


def _midranks(values: np.ndarray, weights: np.ndarray) -> np.ndarray:
    """Rank of each value in the weighted population, ties sharing the mean rank."""
    keys, inverse = np.unique(values, return_inverse=True)
    totals = np.bincount(inverse, weights=weights, minlength=keys.size)
    before = np.concatenate([[0.0], np.cumsum(totals)[:-1]])
    return (before + (totals + 1.0) / 2.0)[inverse]


def weighted_spearman(x, y, w) -> float:
    """Spearman's rank correlation of x and y when value i occurs w[i] times."""
    x = np.asarray(x, dtype=np.float64)
    y = np.asarray(y, dtype=np.float64)
    w = np.asarray(w, dtype=np.float64)
    rx, ry = _midranks(x, w), _midranks(y, w)
    total = w.sum()
    mx, my = (w * rx).sum() / total, (w * ry).sum() / total
    cov = (w * (rx - mx) * (ry - my)).sum()
    vx, vy = (w * (rx - mx) ** 2).sum(), (w * (ry - my) ** 2).sum()
    if vx <= 0 or vy <= 0:
        return math.nan
    return float(cov / math.sqrt(vx * vy))


def _floats(column) -> np.ndarray:
    try:
        return np.asarray(column, dtype=np.float64)
    except TypeError:  # a measure left empty on some rows
        return np.array([math.nan if v is None else v for v in column], dtype=np.float64)


class CensusStats:
    """Running summaries of a census."""

    def __init__(self, layout: Layout):
        self.scalars = [c for c, k in zip(layout.measures, layout.kinds)
                        if k in ("int", "float") and c != _GATE_COLUMN]
        self.classes = np.zeros(GATES, dtype=np.int64)
        self.functions = np.zeros(GATES, dtype=np.float64)
        # Per measure: blocks of (distinct values, weight of each value at
        # each gate count), merged when they pile up.
        self._blocks: dict[str, list[tuple[np.ndarray, np.ndarray]]] = {c: [] for c in self.scalars}
        self.profile_sum: np.ndarray | None = None
        # (source, n) -> [count, {measure: (sum, count)}, profile sum or None]
        self.by_size: dict[tuple[str, int], list] = {}

    @property
    def has_npn(self) -> bool:
        return bool(self.classes.sum())

    def add(self, chunk: Chunk, cols: tuple[str, ...], rows: list[list]) -> None:
        if not rows:
            return
        where = {c: i for i, c in enumerate(cols)}
        columns = transpose(rows)
        if chunk.orbit_sizes is not None and _GATE_COLUMN in where:
            self._add_npn(where, columns, chunk.orbit_sizes)
        else:
            self._add_sized(chunk, where, columns)

    def _add_npn(self, where, columns, orbit_sizes) -> None:
        gates = np.asarray(columns[where[_GATE_COLUMN]], dtype=np.int64)
        w = np.asarray(orbit_sizes, dtype=np.float64)
        self.classes += np.bincount(gates, minlength=GATES)
        self.functions += np.bincount(gates, weights=w, minlength=GATES)
        for c in self.scalars:
            if c not in where:
                continue
            column = columns[where[c]]
            if isinstance(column[0], int) and None not in column:
                # Small counts: the value is its own row of the table.
                v = np.asarray(column, dtype=np.int64)
                top = int(v.max()) + 1
                if v.min() >= 0 and top <= 1 << 12:
                    table = np.bincount(v * GATES + gates, weights=w,
                                        minlength=top * GATES).reshape(top, GATES)
                    seen = table.any(axis=1)
                    self._add_block(c, np.flatnonzero(seen).astype(np.float64), table[seen])
                    continue
            v = _floats(column)
            ok = ~np.isnan(v)
            values, inverse = np.unique(v[ok], return_inverse=True)
            table = np.bincount(inverse * GATES + gates[ok], weights=w[ok],
                                minlength=values.size * GATES).reshape(values.size, GATES)
            self._add_block(c, values, table)
        if _PROFILE in where:
            prof = np.asarray(columns[where[_PROFILE]], dtype=np.float64)
            if self.profile_sum is None:
                self.profile_sum = np.zeros((GATES, prof.shape[1]))
            np.add.at(self.profile_sum, gates, prof * w[:, None])

    def _add_block(self, c: str, values: np.ndarray, table: np.ndarray) -> None:
        blocks = self._blocks[c]
        blocks.append((values, table))
        if len(blocks) >= 32:
            self._merge(c)

    def _merge(self, c: str) -> tuple[np.ndarray, np.ndarray]:
        blocks = self._blocks[c]
        if not blocks:
            return np.zeros(0), np.zeros((0, GATES))
        if len(blocks) > 1:
            values, inverse = np.unique(np.concatenate([b[0] for b in blocks]), return_inverse=True)
            table = np.zeros((values.size, GATES))
            np.add.at(table, inverse, np.concatenate([b[1] for b in blocks]))
            blocks[:] = [(values, table)]
        return blocks[0]

    def joint(self, c: str) -> tuple[np.ndarray, np.ndarray, np.ndarray]:
        """(gate counts, values, weights) of every pair that occurs for ``c``."""
        values, table = self._merge(c)
        vi, g = np.nonzero(table)
        return g.astype(np.float64), values[vi], table[vi, g]

    def _add_sized(self, chunk: Chunk, where, columns) -> None:
        entry = self.by_size.setdefault((chunk.source, chunk.n), [0, {}, None])
        entry[0] += len(columns[0])
        for c in self.scalars:
            if c in where:
                v = _floats(columns[where[c]])
                ok = ~np.isnan(v)
                s, k = entry[1].get(c, (0.0, 0))
                entry[1][c] = (s + float(v[ok].sum()), k + int(ok.sum()))
        if _PROFILE in where:
            prof = np.asarray(columns[where[_PROFILE]], dtype=np.float64).sum(axis=0)
            entry[2] = prof if entry[2] is None else entry[2] + prof

    def add_records(self, records: Iterable[dict], layout: Layout, block: int = 4096) -> None:
        """Add rows read back from an output file."""
        cols = tuple(layout.measures)
        batch: list[dict] = []

        def flush():
            key = lambda r: (r["source"], r["n"], "orbit_size" in r and r["orbit_size"] is not None)
            groups: dict = {}
            for r in batch:
                groups.setdefault(key(r), []).append(r)
            for (source, n, npn), recs in groups.items():
                chunk = Chunk(source, n, [r["index"] for r in recs], b"", [r["function"] for r in recs],
                              [r["orbit_size"] for r in recs] if npn else None)
                self.add(chunk, cols, [[r[c] for c in cols] for r in recs])
            batch.clear()

        for rec in records:
            batch.append(rec)
            if len(batch) >= block:
                flush()
        flush()

    # Results -----------------------------------------------------------------

    def gate_counts(self) -> list[int]:
        return [g for g in range(GATES) if self.classes[g]]

    def mean(self, measure: str, gates: int) -> float:
        values, table = self._merge(measure)
        total = table[:, gates].sum() if values.size else 0.0
        return float(values @ table[:, gates] / total) if total else math.nan

    def spearman(self, measure: str) -> float:
        g, v, w = self.joint(measure)
        if not g.size:
            return math.nan
        return weighted_spearman(g, v, w)

    def summary_table(self) -> str:
        """Per gate count: classes, functions and the mean of each measure;
        then each measure's Spearman correlation with the gate count."""
        gates = self.gate_counts()
        header = ["gates"] + [str(g) for g in gates] + ["Spearman"]
        rows = [["classes"] + [str(int(self.classes[g])) for g in gates] + [""],
                ["functions"] + [str(int(self.functions[g])) for g in gates] + [""]]
        for c in self.scalars:
            if not self._merge(c)[0].size:
                continue
            rho = self.spearman(c)
            rows.append([c] + [f"{self.mean(c, g):.4g}" for g in gates]
                        + ["" if math.isnan(rho) else f"{rho:+.3f}"])
        widths = [max(len(r[i]) for r in [header] + rows) for i in range(len(header))]
        lines = []
        for r in [header] + rows:
            cells = [r[0].ljust(widths[0])] + [x.rjust(w) for x, w in zip(r[1:], widths[1:])]
            lines.append("  ".join(cells).rstrip())
        total = int(self.functions.sum())
        title = (f"Five-input functions by minimum gate count: {int(self.classes.sum())} NPN classes, "
                 f"{total} functions (means weighted by orbit size)")
        return title + "\n" + "\n".join(lines) + "\n"
