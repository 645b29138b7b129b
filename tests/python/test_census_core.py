"""The census pieces: sources, measures, rows, summaries and printing,
checked against plain definitions (tests/reference/census_plain.py)."""
import math
import pathlib
import random
import sys

import numpy as np
import pytest
from varnel import Varnel

from varnelkit import census_sources
from varnelkit._format import format_f32
from varnelkit.census import plan_census, run_census
from varnelkit.census_measures import MeasureError, default_measures, parse_measures
from varnelkit.census_sources import SourceError, parse_source, parse_table, read_tables
from varnelkit.census_summary import weighted_spearman
from varnelkit.census_worker import measure_chunk, tables

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "reference"))
import census_plain  # noqa: E402


def collect(plan, **options):
    got = []
    run_census(plan, [lambda c, cols, rows: got.append((c, cols, rows))], **options)
    return got


@pytest.mark.parametrize("text, value, n", [
    ("0xe8", 0xE8, 3), ("0xE8", 0xE8, 3), ("e8", 0xE8, 3), ("0b11101000", 0xE8, 3),
    ("0x169ae443", 0x169AE443, 5), ("0b10", 2, 1), ("0b1", 1, 0), ("0x6", 6, 2),
    ("0x0000_ffff", 0xFFFF, 5),
])
def test_tables_are_written_most_significant_first(text, value, n):
    assert parse_table(text) == (value, n)
    assert Varnel.from_number(value, n).repr() == [bool((value >> i) & 1) for i in range(1 << n)]


def test_hex_word_is_the_family_member():
    assert parse_table("0xe8")[0] == census_plain.table_bits(Varnel.majority(3))


@pytest.mark.parametrize("text", ["0x123", "0b101", "0xzz", "0x", "0b012"])
def test_bad_tables_are_refused(text):
    with pytest.raises(ValueError):
        parse_table(text)


def functions_of(spelling, sizes=lambda n: 3, **options):
    src = parse_source(spelling, **options)
    out = []
    for chunk in src.chunks(sizes):
        for idx, name, f in zip(chunk.indices, chunk.functions,
                                tables(chunk.n, chunk.packed, len(chunk))):
            out.append((idx, name, f.repr()))
    return src, out


@pytest.mark.parametrize("spelling, family, params", [
    ("majority:3..6", "majority", [3, 4, 5, 6]),
    ("parity:2,4,7..8", "parity", [2, 4, 7, 8]),
    ("coprimes:1..3", "coprimes", [1, 2, 3]),
    ("clique:4", "clique", [4]),
])
def test_family_sources(spelling, family, params):
    src, got = functions_of(spelling)
    assert src.total() == len(params)
    assert [name for _, name, _ in got] == [f"{family}:{p}" for p in params]
    assert [t for _, _, t in got] == [getattr(Varnel, family)(p).repr() for p in params]


@pytest.mark.parametrize("n", [0, 2, 5, 6, 7, 9])
def test_random_tables_do_not_depend_on_chunking(n):
    _, by_one = functions_of(f"random:n={n},count=9,seed=4", lambda k: 1)
    _, by_four = functions_of(f"random:n={n},count=9,seed=4", lambda k: 4)
    assert by_one == by_four
    assert len({tuple(t) for _, _, t in by_one}) > (1 if n == 0 else 4)
    _, alone = functions_of(f"random:n={n},seed=4,index=6")
    assert alone[0][2] == by_one[6][2]
    if n > 8:
        assert alone[0][1] == f"random:n={n},seed=4,index=6" == by_one[6][1]
    else:
        assert parse_table(by_one[6][1])[0] == census_plain.table_bits(Varnel(by_one[6][2]))


def test_files_of_hex_bits_and_encode_records(tmp_path):
    rng = random.Random(7)
    fs = [Varnel([rng.random() < 0.5 for _ in range(1 << n)]) for n in (0, 1, 2, 3, 5, 7)]
    words = [census_plain.table_bits(f) for f in fs]
    hex_lines = [f"0b{w:01b}" if f.n_vars() == 0 else f"0b{w:02b}" if f.n_vars() == 1
                 else f"0x{w:0{f.size() // 4}x}" for f, w in zip(fs, words)]
    bit_lines = [f"{w:0{f.size()}b}" for f, w in zip(fs, words)]
    for data in ("\n# a comment\n".join(hex_lines).encode(), "\n".join(bit_lines).encode(),
                 b"".join(f.encode() for f in fs)):
        records = read_tables(data, "f")
        assert [r.n for r in records] == [f.n_vars() for f in fs]
        got = [next(tables(r.n, r.packed, 1)).repr() for r in records]
        assert got == [f.repr() for f in fs]


def test_bad_lines_name_their_line_and_can_be_skipped():
    data = b"0xe8\n\n0x123\n0xzz # comment\n0x6996\n"
    with pytest.raises(SourceError, match=r"^f, line 3: '0x123' has 12 entries"):
        read_tables(data, "f")
    warnings = []
    records = read_tables(data, "f", skip_bad=True, warn=warnings.append)
    assert [r.index for r in records] == [0, 3]
    assert [w.split(":")[0] for w in warnings] == ["skipped f, line 3", "skipped f, line 4"]


def test_bad_encode_record_is_reported():
    data = Varnel.majority(3).encode() + bytes([3, 1, 0, 1]) + Varnel.parity(2).encode()
    with pytest.raises(SourceError, match="record 2 .*not a power of two"):
        read_tables(data, "f")
    assert len(read_tables(data, "f", skip_bad=True, warn=lambda m: None)) == 2


@pytest.mark.parametrize("spelling, message", [
    ("nope:3", "unknown family 'nope'"),
    ("majority:40", "at most 30"),
    ("majority:9..3", "empty range"),
    ("random:count=3", "n= is missing"),
    ("/no/such/file", "is not a source"),
])
def test_bad_sources(spelling, message):
    with pytest.raises(SourceError, match=message):
        parse_source(spelling)


@pytest.mark.parametrize("spelling, message", [
    ("nope", "unknown measure 'nope'"),
    ("entropy:3", "takes no parameter"),
    ("fragmentation_k", "needs a parameter"),
    ("information:a", "non-negative integers"),
])
def test_bad_measures(spelling, message):
    with pytest.raises(MeasureError, match=message):
        parse_measures(spelling)


def test_measure_lists_keep_parameters_together():
    names = [m.name for m in parse_measures("information:0,2,entropy fragmentation_k:1,degree")]
    assert names == ["degree", "entropy", "fragmentation_k:1", "information:0,2"]


def test_default_rule_follows_the_work_estimate():
    at5 = [m.name for m in default_measures(5)]
    assert "minimal_gates" in at5 and "npn_representant" in at5 and "entropy" in at5
    assert "minimal_gates" not in [m.name for m in default_measures(6)]
    at16 = [m.name for m in default_measures(16)]
    assert "fragmentation_profile" not in at16 and "certificate_complexity" not in at16
    assert "spectral_entropy" in at16
    assert [m.name for m in default_measures(26)] == ["weight"]
    assert default_measures(27) == []
    assert "entropy" not in [m.name for m in default_measures(0)]


@pytest.mark.parametrize("n", [1, 3, 5, 6, 8])
def test_rows_equal_plain_calls(n):
    rng = random.Random(100 + n)
    fs = [Varnel([rng.random() < 0.5 for _ in range(1 << n)]) for _ in range(12)]
    spelled = {f"0b{census_plain.table_bits(f):0{f.size()}b}": f for f in fs}
    fs = list(spelled.values())
    plan = plan_census(list(spelled))
    got = collect(plan, jobs=1)
    for (chunk, cols, rows), f in zip(got, fs):
        assert rows == [census_plain.row(f, cols)]


def test_parametrised_measures_equal_plain_calls():
    f = Varnel.primality(6)
    plan = plan_census(["primality:6"], "fragmentation_k:2,information:0,3,influence:4,"
                                        "fragmentation_coefficient:1,2,5")
    (_, cols, rows), = collect(plan, jobs=1)
    assert list(cols) == ["fragmentation_coefficient:1,2,5", "fragmentation_k:2", "influence:4",
                          "information:0,3"]
    assert rows == [[f.fragmentation_coefficient([1, 2, 5]), f.fragmentation_k(2), f.influence(4),
                     f.information([0, 3])]]


def test_measure_outside_its_domain_is_left_out():
    plan = plan_census(["0b1", "0xe8"], "entropy,fragmentation_k:3,minimal_gates")
    got = collect(plan, jobs=1)
    assert [list(cols) for _, cols, _ in got] == [[], ["entropy", "fragmentation_k:3"]]


def test_worker_pool_equals_one_process():
    plan = plan_census(["random:n=5,count=300,seed=2", "majority:2..7"])
    one = collect(plan, jobs=1)
    two = collect(plan_census(["random:n=5,count=300,seed=2", "majority:2..7"]), jobs=2)
    assert [(c.indices, c.functions, cols, rows) for c, cols, rows in one] == \
           [(c.indices, c.functions, cols, rows) for c, cols, rows in two]


def test_resume_plan_skips_finished_indices():
    plan = plan_census(["random:n=4,count=20,seed=1"])
    full = {i: r for c, _, rows in collect(plan, jobs=1) for i, r in zip(c.indices, rows)}
    plan = plan_census(["random:n=4,count=20,seed=1"])
    plan.done = {"random:n=4,count=20,seed=1": set(range(0, 20, 3))}
    assert plan.total() == 13
    rest = {i: r for c, _, rows in collect(plan, jobs=1) for i, r in zip(c.indices, rows)}
    assert sorted(rest) == [i for i in range(20) if i % 3]
    assert all(full[i] == r for i, r in rest.items())


def test_chunks_are_plain_data_and_pickle():
    import pickle
    plan = plan_census(["random:n=7,count=3,seed=1"], "degree")
    chunk, task, cols = next(plan.chunks())
    assert measure_chunk(pickle.loads(pickle.dumps(task))) == measure_chunk(task)


@pytest.mark.parametrize("seed", range(6))
def test_weighted_spearman_equals_the_expanded_population(seed):
    rng = random.Random(seed)
    k = rng.randint(2, 25)
    x = [rng.randint(0, 4) for _ in range(k)]
    y = [rng.choice([0.5, 1.0, 1.25, 2.0, 3.0]) + rng.randint(0, 1) for _ in range(k)]
    w = [rng.randint(1, 6) for _ in range(k)]
    if len(set(x)) == 1 or len(set(y)) == 1:
        x[0], y[0] = 9, 9.0
    assert math.isclose(weighted_spearman(x, y, w), census_plain.spearman(x, y, w), abs_tol=1e-12)


def test_spearman_of_a_constant_is_nan():
    assert math.isnan(weighted_spearman([1, 2, 3], [5, 5, 5], [1, 1, 1]))


def digits(text):
    return len(text.split("e")[0].replace("-", "").replace(".", "").strip("0"))


def test_float32_text_is_shortest_and_exact():
    rng = np.random.default_rng(3)
    values = np.concatenate([rng.random(300).astype(np.float32),
                             (rng.standard_normal(300) * 1e3).astype(np.float32),
                             np.float32([0.4, 2.85, 1e-8, 123456789, 0.1])])
    for v in values.tolist():
        text = format_f32(v)
        assert np.float32(float(text)) == np.float32(v)
        assert digits(text) == digits(census_plain.shortest_float32(v))
    assert format_f32(-0.0) == "-0.0"
    assert format_f32(0.4000000059604645) == "0.4"


def test_npn5_source_classes_carry_catalogue_orbits_and_gates():
    numbers, classes = census_sources.npn5_catalogue(sample=3, seed=5)
    assert numbers.size == 3
    for rec in classes:
        word = int(rec["representative"])
        assert int(rec["orbit_size"]) == census_plain.orbit_size(word)
        assert Varnel.from_number(word, 5).minimal_gates() == rec["gates"]


@pytest.mark.parametrize("fmt", ["csv", "jsonl", "table"])
def test_signed_zeros_and_lists_keep_their_text(fmt):
    import io
    from varnelkit.census_output import Layout, open_writer
    from varnelkit.census_sources import Chunk

    layout = Layout(["a", "b"], ["float", "list"], npn=False)
    out = io.StringIO()
    writer = open_writer(out, fmt, layout)
    writer.header()
    rows = [[0.0, [-0.0, 0.4000000059604645]], [-0.0, [0.0, 2.5]], [0.4000000059604645, [1.0, -0.0]]]
    for _ in range(2):  # the second pass reads texts already known
        writer.write(Chunk("s", 1, [0, 1, 2], b"", ["0b01", "0b10", "0b11"]), ("a", "b"), rows)
    text = out.getvalue()
    for expected in ("0.0", "-0.0", "0.4"):
        assert expected in text
    cells = [line.split() if fmt == "table" else line for line in text.splitlines()[-3:]]
    if fmt == "csv":
        assert cells == ['s,0,1,0b01,0.0,"[-0.0,0.4]"', 's,1,1,0b10,-0.0,"[0.0,2.5]"',
                         's,2,1,0b11,0.4,"[1.0,-0.0]"']
    elif fmt == "jsonl":
        import json
        assert [json.loads(c)["a"] for c in cells] == [0.0, -0.0, 0.4]
        assert [math.copysign(1, json.loads(c)["a"]) for c in cells][:2] == [1.0, -1.0]
        assert [c.split('"b":')[1] for c in cells] == ["[-0.0,0.4]}", "[0.0,2.5]}", "[1.0,-0.0]}"]
    else:
        assert [c[-2:] for c in cells] == [["0.0", "[-0.0,0.4]"], ["-0.0", "[0.0,2.5]"],
                                           ["0.4", "[1.0,-0.0]"]]


def test_npn5_summary_equals_plain_weighted_statistics():
    from varnelkit.census_summary import CensusStats

    plan = plan_census(["npn5"], "entropy,degree,fragmentation_peak", sample=25, seed=3)
    stats = CensusStats(plan.layout)
    got = collect(plan, jobs=1)
    for chunk, cols, rows in got:
        stats.add(chunk, cols, rows)
    rows = [dict(zip(cols, r), orbit=o) for c, cols, rs in got for r, o in zip(rs, c.orbit_sizes)]
    assert stats.functions.sum() == sum(r["orbit"] for r in rows)
    for name in ("entropy", "degree", "fragmentation_peak_k", "fragmentation_peak"):
        for g in stats.gate_counts():
            mine = [(r[name], r["orbit"]) for r in rows if r["minimal_gates"] == g]
            plain = sum(v * w for v, w in mine) / sum(w for _, w in mine)
            assert math.isclose(stats.mean(name, g), plain, rel_tol=1e-12)
        # Spearman's rho does not change when every weight is divided alike.
        unit = math.gcd(*[r["orbit"] for r in rows])
        xs, ys, ws = zip(*[(r["minimal_gates"], r[name], r["orbit"] // unit) for r in rows])
        if len(set(ys)) > 1 and len(set(xs)) > 1:
            assert math.isclose(stats.spearman(name), census_plain.spearman(xs, ys, ws), abs_tol=1e-9)
