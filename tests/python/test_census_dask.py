"""The census on a real Dask cluster: a scheduler and two worker processes
on the loopback address, started here as separate processes."""
import csv
import io
import json
import os
import pathlib
import signal
import subprocess
import sys
import time

import pytest

distributed = pytest.importorskip("distributed")

SCRIPT = pathlib.Path(sys.executable).parent / "varnel"
SOURCES = ["random:n=9,count=240,seed=11", "majority:3..8", "-m",
        "entropy,fragmentation_profile,certificate_complexity,degree"]


def start(args, log):
    return subprocess.Popen([sys.executable, "-m", *args], stdout=log, stderr=subprocess.STDOUT,
                            start_new_session=True)


def stop(proc):
    if proc.poll() is None:
        os.killpg(proc.pid, signal.SIGTERM)
        try:
            proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """(scheduler address, worker processes)."""
    tmp = tmp_path_factory.mktemp("dask")
    log = open(tmp / "cluster.log", "w")
    info = tmp / "scheduler.json"
    scheduler = start(["distributed.cli.dask_scheduler", "--host", "127.0.0.1", "--port", "0",
                       "--no-dashboard", "--scheduler-file", str(info)], log)
    procs = [scheduler]
    try:
        deadline = time.time() + 60
        while not info.exists() and time.time() < deadline:
            time.sleep(0.1)
        address = json.loads(info.read_text())["address"]
        workers = [start(["distributed.cli.dask_worker", address, "--host", "127.0.0.1",
                          "--nthreads", "1", "--no-nanny", "--no-dashboard"], log)
                   for _ in range(2)]
        procs += workers
        client = distributed.Client(address, timeout=60)
        client.wait_for_workers(2, timeout=60)
        client.close()
        yield address, workers
    finally:
        for p in reversed(procs):
            stop(p)
        log.close()


@pytest.fixture(scope="module")
def single_process(tmp_path_factory):
    out = tmp_path_factory.mktemp("one") / "one.csv"
    subprocess.run([str(SCRIPT), "census", *SOURCES, "-o", str(out), "-j", "1"], check=True)
    return rows_by_key(out.read_text())


def rows_by_key(text):
    rows = list(csv.DictReader(io.StringIO(text)))
    keyed = {(r["source"], r["index"]): r for r in rows}
    assert len(keyed) == len(rows), "a row is repeated"
    return keyed


def test_cluster_census_equals_single_process(cluster, single_process, tmp_path):
    address, _ = cluster
    out = tmp_path / "dask.csv"
    proc = subprocess.run([str(SCRIPT), "census", *SOURCES, "-o", str(out), "--dask", address],
                          capture_output=True, timeout=600)
    assert proc.returncode == 0 and proc.stderr == b"", proc.stderr.decode()
    assert rows_by_key(out.read_text()) == single_process


def test_lost_worker_loses_and_repeats_nothing(cluster, single_process, tmp_path):
    address, workers = cluster
    out = tmp_path / "dask.csv"
    proc = subprocess.Popen([str(SCRIPT), "census", *SOURCES, "-o", str(out), "--dask", address],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.time() + 300
    while time.time() < deadline and proc.poll() is None and \
            (not out.exists() or out.read_text().count("\n") < 20):
        time.sleep(0.05)
    os.kill(workers[0].pid, signal.SIGKILL)
    _, err = proc.communicate(timeout=600)
    assert proc.returncode == 0, err.decode()
    assert rows_by_key(out.read_text()) == single_process


def test_local_cluster_from_the_api():
    import varnelkit
    sources = ["random:n=6,count=50,seed=2"]
    here = varnelkit.census(sources, "entropy,degree", jobs=1)
    there = varnelkit.census(sources, "entropy,degree", jobs=2, dask="local")
    there = there.sort_values("index").reset_index(drop=True)
    assert here.equals(there)
