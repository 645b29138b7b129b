"""The varnel command, run as a user runs it: formats, errors, the summary,
interruption and --resume."""
import csv
import io
import json
import os
import pathlib
import signal
import subprocess
import sys
import time

import numpy as np
import pytest
from varnel import Varnel

import varnelkit

SCRIPT = pathlib.Path(sys.executable).parent / "varnel"
SOURCE = "random:n=5,count=40,seed=3"


def varnel(*args, stdin=None, check=True):
    proc = subprocess.run([str(SCRIPT), *args], input=stdin, capture_output=True, timeout=300)
    if check:
        assert proc.returncode == 0, proc.stderr.decode()
    return proc


def single(x):
    return np.float32(x).tolist()


def csv_rows(text):
    return list(csv.DictReader(io.StringIO(text)))


def test_console_script_and_module_agree():
    a = varnel("census", SOURCE, "-m", "entropy,degree", "--format", "csv").stdout
    b = subprocess.run([sys.executable, "-m", "varnelkit", "census", SOURCE, "-m",
                        "entropy,degree", "--format", "csv"], capture_output=True, check=True).stdout
    assert a == b and len(csv_rows(a.decode())) == 40


def test_csv_jsonl_and_dataframe_hold_the_same_rows(tmp_path):
    out_csv, out_jsonl = tmp_path / "a.csv", tmp_path / "a.jsonl"
    census_args = [SOURCE, "majority:2..6"]
    proc = varnel("census", *census_args, "-o", str(out_csv), "-j", "2")
    assert proc.stdout == b"" and proc.stderr == b""  # no progress bar when piped
    varnel("census", *census_args, "-o", str(out_jsonl), "-j", "1")
    rows = csv_rows(out_csv.read_text())
    records = [json.loads(line) for line in out_jsonl.read_text().splitlines()]
    frame = varnelkit.census(census_args, jobs=1)
    assert len(rows) == len(records) == len(frame) == 45
    assert list(rows[0]) == list(records[0]) == list(frame.columns)
    for row, rec, (_, got) in zip(rows, records, frame.iterrows()):
        for col in frame.columns:
            value = got[col]
            if value is None or (isinstance(value, float) and value != value):
                assert row[col] == "" and rec[col] is None
            elif col == "npn_representant":
                assert int(row[col], 16) == int(rec[col], 16) == value
            elif isinstance(value, list):
                assert single(json.loads(row[col])) == single(rec[col]) == single(value)
                assert [float(x) for x in single(value)] == value
            elif isinstance(value, str):
                assert row[col] == rec[col] == value
            else:
                assert single(float(row[col])) == single(rec[col]) == single(value)
                assert float(np.float32(value)) == value


def test_values_print_as_single_precision_numbers():
    out = varnel("census", "0x169ae443", "-m", "entropy,equanimity_importance,fragmentation_profile",
                 "--format", "csv").stdout.decode()
    row = csv_rows(out)[0]
    f = Varnel.from_number(0x169AE443, 5)
    assert row["entropy"] == "4.75" and row["equanimity_importance"] == "0.6"
    assert f.equanimity_importance() != 0.6
    assert json.loads(row["fragmentation_profile"]) == [float(x) for x in
                                                        row["fragmentation_profile"][1:-1].split(",")]
    assert "0000" not in out


def test_identity_columns():
    rows = csv_rows(varnel("census", "majority:3..4", "0xe8", "random:n=9,count=2,seed=1",
                           "-m", "degree").stdout.decode())
    assert [(r["source"], r["index"], r["n"], r["function"]) for r in rows] == [
        ("majority:3..4", "0", "3", "majority:3"), ("majority:3..4", "1", "4", "majority:4"),
        ("0xe8", "0", "3", "0xe8"),
        ("random:n=9,count=2,seed=1", "0", "9", "random:n=9,seed=1,index=0"),
        ("random:n=9,count=2,seed=1", "1", "9", "random:n=9,seed=1,index=1")]


def test_terminal_table_shape():
    out = varnel("census", "majority:3..5", "-m", "entropy,degree", "--format", "table")
    lines = out.stdout.decode().splitlines()
    assert lines[0].split() == ["source", "index", "n", "function", "degree", "entropy"]
    assert lines[1].split() == ["majority:3..5", "0", "3", "majority:3", "3", "2.5"]


def test_stdin_and_files(tmp_path):
    tables = b"0xe8\n0x6996\n"
    a = varnel("census", "-", "-m", "degree", "--format", "csv", stdin=tables).stdout
    path = tmp_path / "t.bin"
    path.write_bytes(Varnel.majority(3).encode() + Varnel.parity(4).encode())
    b = varnel("census", str(path), "-m", "degree", "--format", "csv").stdout
    assert [r["degree"] for r in csv_rows(a.decode())] == ["3", "4"]
    assert [r["function"] for r in csv_rows(b.decode())] == ["0xe8", "0x9669"]


@pytest.mark.parametrize("args, message", [
    (["census", "nope:3"], "unknown family 'nope'"),
    (["census", "0x123"], "not a power of two"),
    (["census", "/no/such/file"], "is not a source"),
    (["census", "majority:3", "-m", "entropy,wobble"], "unknown measure 'wobble'"),
    (["census", "BAD"], "line 2: '0x123' has 12 entries"),
    (["census", "majority:3", "--resume", "-o", "x.txt"], "--resume needs a CSV"),
    (["census", "majority:3", "--sample", "4"], "--sample applies to the npn5 source"),
    (["census", "majority:3", "-o", "/no/such/dir/out.csv"], "cannot write"),
    (["measure", "majority:3..5"], "names 3 functions, not one"),
    (["circuit", "0x123"], "not a power of two"),
])
def test_bad_input_is_one_line_and_a_failure(tmp_path, args, message):
    bad = tmp_path / "bad.txt"
    bad.write_text("0xe8\n0x123\n")
    args = [str(bad) if a == "BAD" else a for a in args]
    proc = subprocess.run([str(SCRIPT), *args], capture_output=True, cwd=tmp_path, timeout=120)
    err = proc.stderr.decode()
    assert proc.returncode == 1 and proc.stdout == b""
    assert err.count("\n") == 1 and err.startswith("varnel: error: ") and message in err, err


def test_skip_bad_reports_and_continues(tmp_path):
    bad = tmp_path / "bad.txt"
    bad.write_text("0xe8\n0x123\n0x6996\n")
    proc = varnel("census", str(bad), "--skip-bad", "-m", "degree", "--format", "csv")
    assert [r["index"] for r in csv_rows(proc.stdout.decode())] == ["0", "2"]
    assert f"{bad}, line 2:" in proc.stderr.decode() and proc.stderr.decode().count("\n") == 1


def test_circuit_without_the_library_is_one_line():
    proc = varnel("circuit", "0xE8", check=False)
    if getattr(varnelkit, "optimal_circuit", None) is None:
        assert proc.returncode == 1 and proc.stderr.decode().count("\n") == 1
    else:
        assert proc.returncode == 0 and proc.stdout


def test_measure_lists_every_default_measure():
    lines = varnel("measure", "majority:9").stdout.decode().splitlines()
    names = [line.split()[0] for line in lines]
    assert names[:2] == ["function", "n"] and "entropy" in names and "minimal_gates" not in names
    five = dict(line.split() for line in varnel("measure", "0x169ae443").stdout.decode().splitlines())
    assert five["minimal_gates"] == "12" and five["npn_representant"] == "0x169ae443"


def test_npn5_sample_prints_the_summary(tmp_path):
    out = tmp_path / "n.csv"
    proc = varnel("census", "npn5", "--sample", "30", "-o", str(out), "--summary",
                  str(tmp_path / "s.txt"), "--plot", str(tmp_path / "p.png"), "-m", "entropy,degree")
    summary = proc.stdout.decode()
    assert summary == (tmp_path / "s.txt").read_text()
    lines = summary.splitlines()
    assert "30 NPN classes" in lines[0] and lines[1].split()[0] == "gates"
    assert lines[1].split()[-1] == "Spearman"
    rows = csv_rows(out.read_text())
    functions = sum(int(r["orbit_size"]) for r in rows)
    assert f"{functions} functions" in lines[0]
    by_gates = {}
    for r in rows:
        by_gates[int(r["minimal_gates"])] = by_gates.get(int(r["minimal_gates"]), 0) + int(r["orbit_size"])
    counts = dict(zip(lines[1].split()[1:-1], lines[3].split()[1:]))
    assert {int(g): int(c) for g, c in counts.items()} == by_gates
    assert (tmp_path / "p.png").read_bytes()[:4] == b"\x89PNG"


def test_resume_after_a_cut_finishes_without_repeats(tmp_path):
    census_args = ["random:n=6,count=300,seed=9", "-m", "entropy,fragmentation_profile"]
    whole = tmp_path / "whole.csv"
    varnel("census", *census_args, "-o", str(whole), "-j", "1")
    cut = tmp_path / "cut.csv"
    text = whole.read_text()
    lines = text.splitlines(keepends=True)
    # Keep every other finished row and half a line, as a killed run might.
    cut.write_text(lines[0] + "".join(lines[1:200:2]) + lines[200][:17])
    varnel("census", *census_args, "-o", str(cut), "--resume", "-j", "2")
    again = csv_rows(cut.read_text())
    assert sorted(again, key=lambda r: int(r["index"])) == csv_rows(text)


def test_resume_refuses_another_census(tmp_path):
    out = tmp_path / "a.csv"
    varnel("census", "majority:3..5", "-m", "degree", "-o", str(out))
    proc = varnel("census", "majority:3..5", "-m", "entropy", "-o", str(out), "--resume", check=False)
    assert proc.returncode == 1 and "columns of another census" in proc.stderr.decode()


def test_ctrl_c_keeps_finished_rows_and_resume_completes(tmp_path):
    census_args = ["random:n=10,count=1000,seed=5", "-m", "fragmentation_profile,entropy"]
    whole = tmp_path / "whole.jsonl"
    out = tmp_path / "part.jsonl"
    proc = subprocess.Popen([str(SCRIPT), "census", *census_args, "-o", str(out), "-j", "2"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    deadline = time.time() + 120
    while time.time() < deadline and (not out.exists() or out.stat().st_size == 0):
        time.sleep(0.05)
    proc.send_signal(signal.SIGINT)
    _, err = proc.communicate(timeout=120)
    varnel("census", *census_args, "-o", str(whole), "-j", "2")
    finished = out.read_text()
    if proc.returncode == 0:  # the machine was faster than the signal
        assert finished == whole.read_text()
        return
    assert proc.returncode == 130
    assert err.decode().startswith("varnel: interrupted:") and err.decode().count("\n") == 1
    assert "Traceback" not in err.decode()
    assert finished.endswith("\n")
    part = [json.loads(line) for line in finished.splitlines()]
    # The signal may land after the last row was written, before the exit.
    assert 0 < len(part) <= 1000
    varnel("census", *census_args, "-o", str(out), "--resume", "-j", "2")
    done = sorted((json.loads(line) for line in out.read_text().splitlines()),
                  key=lambda r: r["index"])
    assert done == [json.loads(line) for line in whole.read_text().splitlines()]


def test_progress_bar_on_a_terminal_only(tmp_path):
    import pty
    try:
        pid, fd = pty.fork()
    except OSError as exc:  # a root without /dev/pts (the Debian 13 run)
        pytest.skip(f"no pseudo-terminal here: {exc}")
    if pid == 0:
        os.execv(str(SCRIPT), [str(SCRIPT), "census", "random:n=7,count=400,seed=1", "-m", "degree",
                               "-o", str(tmp_path / "o.csv"), "-j", "1"])
    seen = b""
    while True:
        try:
            data = os.read(fd, 4096)
        except OSError:
            break
        if not data:
            break
        seen += data
    os.waitpid(pid, 0)
    assert b"400/400" in seen and b"fn/s" in seen


def test_family_plot_and_summary_refused_without_npn5(tmp_path):
    png = tmp_path / "f.png"
    varnel("census", "majority:2..7", "parity:2..7", "-o", str(tmp_path / "f.csv"), "--plot", str(png))
    assert png.read_bytes()[:4] == b"\x89PNG"
    proc = varnel("census", "majority:3", "--summary", str(tmp_path / "s.txt"), check=False)
    assert proc.returncode == 1 and "--summary needs the npn5 source" in proc.stderr.decode()
