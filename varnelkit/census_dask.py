"""The census on Dask's distributed scheduler.

Chunks go to the cluster as plain tasks (packed tables and measure names);
results come back in order of completion and are handed on at once, so a
lost worker costs only the chunks it held, which the scheduler runs again
elsewhere. A bounded number of chunks is in flight, so a long source is
never held in memory whole. ``local`` starts a cluster of worker processes
on the loopback address for the duration of the census.
"""

from __future__ import annotations

import logging
from typing import Iterable, Iterator

from ._optional import require
from .census_worker import measure_chunk

__all__ = ["run_on_dask", "connect"]


def connect(address: str, jobs: int):
    """(client, cluster or None) for a scheduler address or ``local``."""
    distributed = require("distributed", "python3-distributed")
    # Worker arrivals and departures are the scheduler's business, not lines
    # on the census's standard error.
    logging.getLogger("distributed").setLevel(logging.ERROR)
    if address == "local":
        cluster = distributed.LocalCluster(n_workers=jobs, threads_per_worker=1, processes=True,
                                           host="127.0.0.1", dashboard_address=":0")
        return distributed.Client(cluster), cluster
    try:
        return distributed.Client(address, timeout="20s"), None
    except OSError as exc:
        raise ConnectionError(f"cannot reach the Dask scheduler at {address}: {exc}") from None


def run_on_dask(items: Iterable, address: str, jobs: int) -> Iterator:
    distributed = require("distributed", "python3-distributed")
    client, cluster = connect(address, jobs)
    try:
        workers = max(1, sum(client.nthreads().values()))
        window = 3 * workers
        running = distributed.as_completed(with_results=False)
        chunks = {}
        for chunk, task, cols in items:
            future = client.submit(measure_chunk, task, pure=False)
            chunks[future.key] = (chunk, cols)
            running.add(future)
            while running.count() >= window:
                done = next(running)
                chunk0, cols0 = chunks.pop(done.key)
                yield chunk0, cols0, done.result()
        for done in running:
            chunk0, cols0 = chunks.pop(done.key)
            yield chunk0, cols0, done.result()
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
