"""The census: measure every function of some sources, one row per function.

``plan_census`` fixes the columns and cuts the sources into chunks;
``run_census`` measures the chunks (in this process, in worker processes,
or on a Dask cluster) and hands each finished chunk to its sinks as it
arrives; ``census`` is the Python API that returns a pandas DataFrame.
"""

from __future__ import annotations

import gc
import os
import signal
import sys
from collections import deque
from dataclasses import dataclass, field
from typing import Callable, Iterable, Iterator, Sequence

from .census_measures import Measure, column_order, columns_of, measures_for, parse_measures
from .census_output import Layout, transpose
from .census_sources import Chunk, Source, parse_sources
from .census_worker import measure_chunk

__all__ = ["CensusPlan", "census", "default_jobs", "plan_census", "run_census"]

CHUNK_WORK = 1 << 26
CHUNK_MAX = 4096

Sink = Callable[[Chunk, tuple, list], None]
Task = tuple


def default_jobs() -> int:
    """The number of cores this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:  # not on Linux
        return os.cpu_count() or 1


@dataclass
class CensusPlan:
    sources: list[Source]
    requested: list[Measure] | None
    layout: Layout
    done: dict[str, set[int]] = field(default_factory=dict)

    def measures(self, n: int, npn: bool) -> list[Measure]:
        chosen = measures_for(n, self.requested)
        if npn and not any(m.name == "minimal_gates" for m in chosen):
            chosen = [m for m in measures_for(5, None) if m.name == "minimal_gates"] + chosen
        return chosen

    def total(self) -> int:
        return sum(s.total() for s in self.sources) - sum(len(d) for d in self.done.values())

    def chunks(self) -> Iterator[tuple[Chunk, Task, tuple[str, ...]]]:
        """(chunk, task, measure columns) for every function still to measure."""
        for src in self.sources:
            done = self.done.get(src.spelling, set())

            def size(n: int, npn=src.npn) -> int:
                work = sum(m.work(n) for m in self.measures(n, npn)) or 1.0
                return int(max(1, min(CHUNK_MAX, CHUNK_WORK // work)))

            for chunk in src.chunks(size):
                if done:
                    kept = chunk.without(done)
                    if kept is None:
                        continue
                    chunk = kept
                ms = self.measures(chunk.n, src.npn)
                cols, _ = columns_of(ms)
                yield chunk, (chunk.n, chunk.packed, len(chunk), tuple(m.name for m in ms)), tuple(cols)


def plan_census(sources: Sequence[str | Source], measures=None, **source_options) -> CensusPlan:
    """The plan of a census of ``sources`` (spellings or parsed sources)."""
    spellings = [s for s in sources if isinstance(s, str)]
    parsed = iter(parse_sources(spellings, **source_options)) if spellings else iter(())
    srcs = [next(parsed) if isinstance(s, str) else s for s in sources]
    requested = parse_measures(measures)
    npn = any(s.npn for s in srcs)
    order: dict[str, Measure] = {}
    sized = {(n, s.npn) for s in srcs for n in s.sizes()}
    plan = CensusPlan(srcs, requested, Layout([], [], npn))
    for n, is_npn in sorted(sized):
        for m in plan.measures(n, is_npn):
            order.setdefault(m.name, m)
    cols, kinds = columns_of(sorted(order.values(), key=column_order))
    plan.layout = Layout(cols, kinds, npn)
    return plan


# Backends ----------------------------------------------------------------------

def _serial(items: Iterable) -> Iterator[tuple[Chunk, tuple, list]]:
    for chunk, task, cols in items:
        yield chunk, cols, measure_chunk(task)


def _ignore_sigint() -> None:
    # The parent decides what Ctrl-C means; workers just stop when told.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def _pool(items: Iterable, jobs: int) -> Iterator[tuple[Chunk, tuple, list]]:
    """Worker processes, results in the order of the chunks, at most a few
    chunks per worker in flight."""
    import multiprocessing

    ctx = multiprocessing.get_context("fork")
    window = 3 * jobs
    # The workers inherit this process's objects; frozen, their collector
    # leaves them alone instead of touching (and so copying) every page.
    gc.freeze()
    try:
        pool = ctx.Pool(jobs, initializer=_ignore_sigint)
    finally:
        gc.unfreeze()
    with pool:
        pending: deque = deque()
        for chunk, task, cols in items:
            pending.append((chunk, cols, pool.apply_async(measure_chunk, (task,))))
            if len(pending) >= window:
                chunk0, cols0, result = pending.popleft()
                yield chunk0, cols0, result.get()
        while pending:
            chunk0, cols0, result = pending.popleft()
            yield chunk0, cols0, result.get()


def run_census(plan: CensusPlan, sinks: Sequence[Sink], *, jobs: int | None = None,
               dask: str | None = None, progress: bool = False) -> int:
    """Measure everything the plan still lacks, handing each finished chunk
    to every sink; returns the number of rows. A KeyboardInterrupt stops the
    work after the sinks have every finished row."""
    jobs = default_jobs() if jobs is None else jobs
    items = plan.chunks()
    if dask:
        from .census_dask import run_on_dask
        results = run_on_dask(items, dask, jobs)
    elif jobs <= 1:
        results = _serial(items)
    else:
        results = _pool(items, jobs)
    bar = None
    if progress:
        from ._optional import require
        tqdm = require("tqdm", "python3-tqdm")
        bar = tqdm.tqdm(total=plan.total(), unit="fn", unit_scale=True, file=sys.stderr,
                        dynamic_ncols=True, mininterval=0.5, smoothing=0.1)
    rows = 0
    # Rows are plain lists of numbers: no reference cycles to collect, while
    # collections triggered by their sheer number would walk them all again.
    collecting = gc.isenabled()
    gc.disable()
    try:
        for chunk, cols, values in results:
            for sink in sinks:
                sink(chunk, cols, values)
            rows += len(values)
            if bar is not None:
                bar.update(len(values))
    finally:
        if collecting:
            gc.enable()
        close = getattr(results, "close", None)
        if close is not None:
            close()
        if bar is not None:
            bar.close()
    return rows


# The Python API ------------------------------------------------------------------

def census(sources: str | Sequence[str], measures: str | Sequence[str] | None = None, *,
           sample: int | None = None, seed: int = 0, jobs: int | None = None,
           dask: str | None = None, progress: bool | None = None, skip_bad: bool = False):
    """Measure every function of ``sources`` and return one row per function.

    ``sources`` are spelled as on the command line (``"majority:3..21"``,
    ``"random:n=16,count=200,seed=1"``, ``"npn5"``, ``"0x169ae443"``, a file
    name); ``measures`` names measures (default: all that are cheap at each
    size, see ``varnel measures``). The DataFrame has the identity columns
    ``source``, ``index``, ``n``, ``function`` (and ``orbit_size`` for NPN
    classes), then one column per measure value: integers, floats (the
    exact widened single-precision results) or lists. ``jobs`` worker
    processes (default: one per core; 1 measures in this process) or a Dask
    scheduler address (``"local"`` starts a local cluster).
    """
    from ._optional import require
    pd = require("pandas", "python3-pandas")
    if isinstance(sources, str):
        sources = [sources]
    plan = plan_census(list(sources), measures, sample=sample, seed=seed, skip_bad=skip_bad)
    layout = plan.layout
    frames = []

    def collect(chunk: Chunk, cols: tuple, rows: list) -> None:
        nothing: list = [None] * len(rows)
        data: dict[str, list] = {"source": [chunk.source] * len(rows), "index": chunk.indices,
                                 "n": [chunk.n] * len(rows), "function": chunk.functions}
        if "orbit_size" in layout.identity:
            data["orbit_size"] = chunk.orbit_sizes if chunk.orbit_sizes is not None else nothing
        columns = transpose(rows)
        for c, pos in zip(layout.measures, layout.positions(cols)):
            data[c] = list(columns[pos]) if pos is not None else nothing
        frames.append(pd.DataFrame(data, columns=layout.columns))

    if progress is None:
        progress = sys.stderr.isatty()
    run_census(plan, [collect], jobs=jobs, dask=dask, progress=progress)
    if not frames:
        return pd.DataFrame(columns=layout.columns)
    frame = pd.concat(frames, ignore_index=True)
    if "orbit_size" in frame:
        frame["orbit_size"] = frame["orbit_size"].astype("Int64")
    for c, kind in zip(layout.measures, layout.kinds):
        if kind in ("int", "word") and frame[c].notna().all():
            frame[c] = frame[c].astype("int64")
    return frame
