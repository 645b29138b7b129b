"""The five-input census: the tool against a plain loop over the same functions.

1. Overhead: the census in one process (chunks, rows, CSV text, summary)
   against a plain loop that builds each function and calls every measure,
   on the same functions; the target is an overhead under 20 % of the
   measure time.
2. The whole census as a user runs it (`varnel census npn5 -o FILE`, one
   worker per core): wall time (target under 15 s on 2 cores) and the peak
   memory of its largest process (target under 1 GiB).

Without the class catalogue in the build, a seeded random set of as many
five-input functions stands in for the classes (same measures, same work).
Both runs' values are compared. Usage: bench_census.py [COUNT]
"""
import os
import pathlib
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np
from varnel import Varnel

from varnelkit.census import plan_census, run_census
from varnelkit.census_output import Layout, open_writer, read_back
from varnelkit.census_sources import SourceError, npn5_catalogue, parse_source
from varnelkit.census_summary import CensusStats

CLASSES = 616126


def source(count):
    """The npn5 source, or a stand-in: random five-input words posing as
    classes of orbit size 1 (same measures, same summary work)."""
    try:
        npn5_catalogue()
        return parse_source("npn5", sample=None if count >= CLASSES else count), True
    except SourceError:
        pass
    standin = parse_source("npn5", sample=1)
    rng = np.random.default_rng(1)
    standin.classes = np.zeros(count, dtype=standin.classes.dtype)
    standin.classes["representative"] = rng.integers(0, 1 << 32, size=count, dtype=np.uint32)
    standin.classes["orbit_size"] = 1
    standin.numbers = np.arange(count)
    return standin, False


def plain_rows(words, names):
    """Every measure of every function, one call each, nothing else."""
    methods = [getattr(Varnel, name) for name in names]
    rows = []
    for w in words:
        f = Varnel.from_number(w, 5)
        row = [m(f) for m in methods]
        row.append([f.influence(j) for j in range(5)])
        row.append(f.encode().count(1, 1))
        rows.append(row)
    return rows


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else CLASSES
    src, real = source(count)
    if not real:
        print(f"census: no class catalogue in this build; {count} random five-input functions "
              f"stand in for the classes")
    load = os.getloadavg()[0]
    print(f"census: {count} functions, {os.cpu_count()} cores, load average {load:.1f}")

    # As a user runs it, first, before this process grows: the command, one
    # worker per core, to a file.
    spelling = "npn5" if real else f"random:n=5,count={count},seed=1"
    if spelling and not (real and count < CLASSES):
        with tempfile.TemporaryDirectory() as tmp:
            start = time.perf_counter()
            subprocess.run([str(pathlib.Path(sys.executable).parent / "varnel"), "census", spelling,
                            "-o", str(pathlib.Path(tmp) / "cli.csv")], check=True,
                           stdout=subprocess.DEVNULL)
            elapsed = time.perf_counter() - start
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
        print(f"{'varnel census ' + spelling.split(',')[0] + ' -o FILE (wall)':<44} "
              f"{elapsed:8.2f} s  (target < 15 s for all classes)   "
              f"peak process {peak:.0f} MiB (target < 1024)")

    plan = plan_census([src])
    chunks = list(plan.chunks())
    words = [w for c, _, _ in chunks for w in np.frombuffer(c.packed, dtype="<u8").tolist()]
    names = chunks[0][1][3]
    methods = [n for n in names if n not in ("weight", "influence", "fragmentation_peak",
                                             "npn_representant")]
    Varnel.from_number(0, 5).minimal_gates()  # the circuit database, loaded once for both

    # Processor time of this process: fair between the two runs on a busy machine.
    start = time.process_time()
    plain = plain_rows(words, methods + ["fragmentation_peak", "npn_representant"])
    t_plain = time.process_time() - start

    with tempfile.TemporaryDirectory() as tmp:
        out = pathlib.Path(tmp) / "census.csv"
        plan = plan_census([src])
        stats = CensusStats(plan.layout)
        with open(out, "w") as stream:
            writer = open_writer(stream, "csv", plan.layout)
            writer.header()

            def sink(chunk, cols, rows):
                writer.write(chunk, cols, rows)
                stats.add(chunk, cols, rows)

            start = time.process_time()
            run_census(plan, [sink], jobs=1)
            t_tool = time.process_time() - start
            writer.close()
        check(out, plan.layout, plain, methods)
        del plain
        overhead = (t_tool - t_plain) / t_plain
        print(f"{'measures only (plain loop, 1 core, CPU)':<44} {t_plain:8.2f} s  "
              f"{t_plain / count * 1e6:6.2f} us/function")
        print(f"{'census, 1 process, CSV and summary (CPU)':<44} {t_tool:8.2f} s  "
              f"overhead {overhead * 100:5.1f} % (target < 20 %)   ratio {t_plain / t_tool:5.2f}x")

        # The same census on one worker process per core, same output.
        out2 = pathlib.Path(tmp) / "parallel.csv"
        t_par = timed_census(src, out2, jobs=os.cpu_count())
        same = out2.read_text() == out.read_text()
        print(f"{'census, one worker per core (wall)':<44} {t_par:8.2f} s  "
              f"ratio to plain {t_plain / t_par:5.2f}x   same rows: {same}")
        if not same:
            sys.exit("census: the parallel census differs from the one-process census")


def timed_census(src, path, jobs):
    plan = plan_census([src])
    with open(path, "w") as stream:
        writer = open_writer(stream, "csv", plan.layout)
        writer.header()
        stats = CensusStats(plan.layout)

        def sink(chunk, cols, rows):
            writer.write(chunk, cols, rows)
            stats.add(chunk, cols, rows)

        start = time.perf_counter()
        run_census(plan, [sink], jobs=jobs)
        elapsed = time.perf_counter() - start
        writer.close()
    stats.summary_table()
    return elapsed


def check(path, layout: Layout, plain, methods):
    """The CSV rows hold the plain values, read back at single precision."""
    for rec, values in zip(read_back(str(path), "csv", layout), plain):
        for name, v in zip(methods, values):
            got = rec[name]
            if isinstance(v, list):
                assert np.array_equal(np.float32(got), np.float32(v)), (name, got, v)
            else:
                assert np.float32(got) == np.float32(v), (name, got, v)
        k, peak = values[len(methods)]
        assert rec["fragmentation_peak_k"] == k and np.float32(rec["fragmentation_peak"]) == np.float32(peak)
        rep, influence, weight = values[len(methods) + 1:]
        assert rec["npn_representant"] == sum(1 << i for i, b in enumerate(rep.repr()) if b)
        assert np.array_equal(np.float32(rec["influence"]), np.float32(influence))
        assert rec["weight"] == weight


if __name__ == "__main__":
    main()
