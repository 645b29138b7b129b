"""Plots of a census, drawn from its running summaries.

Five-input classes: one panel per measure with its distribution at each
minimum gate count (shading: the share of the functions of that gate count
taking the value, weighted by orbit size; line: the mean), and the mean
fragmentation profile of each gate count as curves. Other sources: each
measure's mean against the number of variables, one line per source, and
the fragmentation profiles as curves over k/n.
"""

from __future__ import annotations

import math

import numpy as np

from ._optional import require
from .census_summary import GATES, CensusStats

__all__ = ["plot_census"]

COLUMNS = 4


def _pyplot():
    matplotlib = require("matplotlib", "python3-matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    return plt


def _grid(plt, panels: int):
    rows = max(1, math.ceil(panels / COLUMNS))
    fig, axes = plt.subplots(rows, COLUMNS, figsize=(4.2 * COLUMNS, 3.2 * rows), squeeze=False,
                             layout="constrained")
    for ax in axes.flat[panels:]:
        ax.set_visible(False)
    return fig, list(axes.flat)


def _value_bins(v: np.ndarray) -> np.ndarray:
    lo, hi = float(v.min()), float(v.max())
    if np.all(v == np.round(v)) and hi - lo <= 64:
        return np.arange(lo - 0.5, hi + 1.5)
    if hi == lo:
        return np.array([lo - 0.5, hi + 0.5])
    return np.linspace(lo, hi, 33)


def _npn_figure(plt, stats: CensusStats):
    measures = [c for c in stats.scalars if stats.joint(c)[0].size]
    profile = stats.profile_sum is not None
    fig, axes = _grid(plt, len(measures) + profile)
    gates = np.arange(GATES)
    image = None
    for ax, c in zip(axes, measures):
        g, v, w = stats.joint(c)
        ybins = _value_bins(v)
        hist, _, _ = np.histogram2d(g, v, bins=[np.arange(-0.5, GATES + 0.5), ybins], weights=w)
        share = hist / np.maximum(hist.sum(axis=1, keepdims=True), 1.0)
        image = ax.pcolormesh(np.arange(-0.5, GATES + 0.5), ybins, share.T, cmap="Blues",
                              vmin=0.0, vmax=1.0, shading="flat")
        present = [x for x in gates if stats.classes[x]]
        ax.plot(present, [stats.mean(c, x) for x in present], color="tab:red", lw=1.5,
                marker="o", ms=3, label="mean")
        rho = stats.spearman(c)
        ax.set_title(f"{c}  (ρ = {rho:+.2f})" if not math.isnan(rho) else c, fontsize=10)
        ax.set_xlabel("minimum gate count")
        ax.set_ylabel(c, fontsize=8)
        ax.set_xticks(range(0, GATES, 2))
    if stats.profile_sum is not None:
        ax = axes[len(measures)]
        cmap = plt.get_cmap("viridis")
        for x in gates:
            weight = stats.functions[x]
            if weight:
                curve = stats.profile_sum[x] / weight
                ax.plot(range(curve.size), curve, color=cmap(x / (GATES - 1)), lw=1.2,
                        label=str(x))
        ax.set_title("mean fragmentation profile", fontsize=10)
        ax.set_xlabel("k (variables fixed)")
        ax.set_ylabel("F(k), bits")
        ax.legend(title="gates", fontsize=6, title_fontsize=7, ncol=2, loc="upper left")
    if image is not None:
        fig.colorbar(image, ax=axes, shrink=0.5, pad=0.01,
                     label="share of the functions with that gate count")
    total = int(stats.functions.sum())
    fig.suptitle(f"Five-input functions by minimum gate count ({int(stats.classes.sum())} NPN "
                 f"classes, {total} functions, weighted by orbit size)", fontsize=12)
    return fig


def _sized_figure(plt, stats: CensusStats):
    sources = sorted({s for s, _ in stats.by_size})
    measures = [c for c in stats.scalars
                if any(c in e[1] and e[1][c][1] for e in stats.by_size.values())]
    profile = any(e[2] is not None for e in stats.by_size.values())
    fig, axes = _grid(plt, len(measures) + profile)
    for ax, c in zip(axes, measures):
        for s in sources:
            points = sorted((n, e[1][c][0] / e[1][c][1]) for (src, n), e in stats.by_size.items()
                            if src == s and c in e[1] and e[1][c][1])
            if points:
                ax.plot(*zip(*points), marker="o", ms=3, label=s)
        ax.set_title(c, fontsize=10)
        ax.set_xlabel("number of variables n")
        ax.set_ylabel(c, fontsize=8)
    if measures:
        axes[0].legend(fontsize=7)
    if profile:
        ax = axes[len(measures)]
        cmap = plt.get_cmap("viridis")
        sizes = sorted({n for _, n in stats.by_size})
        top = max(sizes[-1], 1)
        for (s, n), e in sorted(stats.by_size.items(), key=lambda kv: kv[0][1]):
            if e[2] is None or n == 0:
                continue
            curve = e[2] / e[0]
            ax.plot(np.arange(curve.size) / n, curve, color=cmap(n / top), lw=1.0)
        ax.set_title("fragmentation profiles (colour: n)", fontsize=10)
        ax.set_xlabel("k / n (share of variables fixed)")
        ax.set_ylabel("F(k), bits")
    fig.suptitle("Measures against the number of variables", fontsize=12)
    return fig


def plot_census(stats: CensusStats, path: str) -> None:
    """Draw the census into ``path`` (PNG, or any format matplotlib knows)."""
    plt = _pyplot()
    fig = _npn_figure(plt, stats) if stats.has_npn else _sized_figure(plt, stats)
    try:
        fig.savefig(path, dpi=110)
    except OSError as exc:
        raise OSError(f"cannot write {path}: {exc.strerror}") from None
    finally:
        plt.close(fig)
