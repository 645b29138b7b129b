"""The ``varnel`` command: census, measure, measures, circuit.

Mistakes of the caller (an unknown family or measure, a bad table, an
unreadable file) end the command with one line on standard error and exit
status 1; Ctrl-C keeps every finished row and exits with 130.
"""

from __future__ import annotations

import argparse
import os
import signal
import sys
from contextlib import contextmanager
from typing import Sequence

__all__ = ["main"]

EXIT_ERROR = 1
EXIT_INTERRUPTED = 130
# True while main() runs as the command itself (it exits when it returns).
_exiting_after = False


class CommandError(Exception):
    """A failure to report as one line."""


def _positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected a positive integer, not {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"expected a positive integer, not {text!r}")
    return value


def _parser() -> argparse.ArgumentParser:
    from . import __version__

    parser = argparse.ArgumentParser(
        prog="varnel", description="Complexity measures of Boolean functions, at scale.")
    parser.add_argument("--version", action="version", version=f"varnel {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND")
    sub.required = True

    c = sub.add_parser("census", help="measure many functions, one row per function",
                       description="Measure every function of the sources, one row per function.")
    c.add_argument("sources", nargs="+", metavar="SOURCE",
                   help="majority:3..21, random:n=16,count=200,seed=1, npn5, 0xe8, 0b0110, "
                        "a file of tables, or - for standard input")
    _measure_option(c)
    c.add_argument("-o", "--output", metavar="FILE",
                   help="write the rows to FILE (.csv, .jsonl or .txt) instead of standard output")
    c.add_argument("--format", choices=("table", "csv", "jsonl"),
                   help="row format (default: from the file name; a table on a terminal, else CSV)")
    c.add_argument("--resume", action="store_true",
                   help="continue a stopped run: keep the rows already in --output, measure the rest")
    c.add_argument("--plot", metavar="FILE.png", help="draw the measures (matplotlib)")
    c.add_argument("--summary", metavar="FILE",
                   help="also write the npn5 summary table to FILE")
    c.add_argument("--sample", type=_positive, metavar="K",
                   help="npn5: a seeded uniform sample of K classes")
    c.add_argument("--seed", type=int, default=0, help="seed of --sample (default 0)")
    c.add_argument("-j", "--jobs", type=_positive, metavar="J",
                   help="worker processes (default: one per core; 1 runs in this process)")
    c.add_argument("--dask", metavar="SCHEDULER",
                   help="run on a Dask cluster: a scheduler address such as tcp://host:8786, "
                        "or 'local' for a local cluster of --jobs workers")
    _input_options(c)
    c.add_argument("--no-progress", action="store_true", help="no progress bar on a terminal")
    c.set_defaults(run=_census)

    m = sub.add_parser("measure", help="every measure of one function",
                       description="Every measure of one function, e.g. majority:9 or 0x169ae443.")
    m.add_argument("function", metavar="FUNCTION")
    _measure_option(m)
    m.add_argument("--format", choices=("table", "csv", "jsonl"), default="table")
    _input_options(m)
    m.set_defaults(run=_measure)

    ms = sub.add_parser("measures", help="list the measures and the default rule")
    ms.set_defaults(run=_measures)

    k = sub.add_parser("circuit", help="the optimal circuit of a five-input function",
                       description="The optimal circuit of a five-input function, e.g. 0xE8.")
    k.add_argument("function", metavar="FUNCTION")
    k.add_argument("--format", default=None, metavar="FORMAT",
                   help="output format of the circuit (as varnelkit.optimal_circuit offers)")
    k.set_defaults(run=_circuit)
    return parser


def _measure_option(p: argparse.ArgumentParser) -> None:
    p.add_argument("-m", "--measures", metavar="LIST",
                   help="measures to take, separated by commas (default: every measure cheap at "
                        "the function's size; see 'varnel measures')")


def _input_options(p: argparse.ArgumentParser) -> None:
    p.add_argument("--input-format", choices=("auto", "hex", "bits", "encode"), default="auto",
                   help="how files and standard input write tables (default: detected)")
    p.add_argument("--skip-bad", action="store_true",
                   help="skip bad lines of an input file (each is reported) instead of stopping")


def _warn(message: str) -> None:
    print(f"varnel: {message}", file=sys.stderr)


class _Deferred:
    """Ctrl-C waits while a batch of rows is being written."""

    def __init__(self):
        self.writing = False
        self.pending = False

    def handler(self, signum, frame):
        if self.writing:
            self.pending = True
        else:
            raise KeyboardInterrupt

    @contextmanager
    def writing_rows(self):
        self.writing = True
        try:
            yield
        finally:
            self.writing = False
            if self.pending:
                self.pending = False
                raise KeyboardInterrupt


def _census(args) -> int:
    from .census import plan_census, run_census
    from .census_output import format_for, has_header, open_writer, read_back
    from .census_summary import CensusStats

    plan = plan_census(args.sources, args.measures, sample=args.sample, seed=args.seed,
                       fmt=args.input_format, skip_bad=args.skip_bad, warn=_warn)
    layout = plan.layout
    if args.summary and not any(s.npn for s in plan.sources):
        raise CommandError("--summary needs the npn5 source")
    for path in (args.plot, args.summary):
        if path and not os.path.isdir(os.path.dirname(path) or "."):
            raise CommandError(f"cannot write {path}: no such directory")
    fmt = format_for(args.output, args.format, sys.stdout.isatty())
    want_stats = bool(args.plot or args.summary or any(s.npn for s in plan.sources))
    stats = CensusStats(layout) if want_stats else None

    appending = False
    if args.resume:
        if not args.output:
            raise CommandError("--resume needs --output FILE (the file of the stopped run)")
        if fmt == "table":
            raise CommandError("--resume needs a CSV or JSON Lines output file")
        if os.path.exists(args.output):
            done: dict[str, set[int]] = {}
            try:
                records = read_back(args.output, fmt, layout)
                if stats is not None:
                    records = _tee(records, done)
                    stats.add_records(records, layout)
                else:
                    for r in records:
                        done.setdefault(r["source"], set()).add(r["index"])
            except (ValueError, KeyError) as exc:
                raise CommandError(f"cannot resume from {args.output}: {exc}") from None
            plan.done = done
            appending = True
    if args.output:
        try:
            stream = open(args.output, "a" if appending else "w", encoding="utf-8", newline="")
        except OSError as exc:
            raise CommandError(f"cannot write {args.output}: {exc.strerror}") from None
    else:
        stream = sys.stdout  # type: ignore[assignment]
    writer = open_writer(stream, fmt, layout)
    if not (appending and has_header(args.output, fmt)):
        writer.header()

    guard = _Deferred()

    def write(chunk, cols, rows):
        with guard.writing_rows():
            writer.write(chunk, cols, rows)
            if stats is not None:
                stats.add(chunk, cols, rows)

    progress = sys.stderr.isatty() and not args.no_progress
    previous = signal.signal(signal.SIGINT, guard.handler)
    try:
        run_census(plan, [write], jobs=args.jobs, dask=args.dask, progress=progress)
    except KeyboardInterrupt:
        writer.close()
        hint = "; continue with --resume" if args.output else ""
        _warn(f"interrupted: {writer.rows} rows written{hint}")
        return EXIT_INTERRUPTED
    finally:
        # The rows are written and the file is closed before Ctrl-C can act
        # again; the command is about to exit, so a late Ctrl-C is ignored
        # rather than turned into a traceback (the handler is restored when
        # the census runs inside a caller's process that keeps going).
        signal.signal(signal.SIGINT, signal.SIG_IGN if _exiting_after else previous)
        writer.close()
        if stream is not sys.stdout:
            stream.close()

    if stats is not None and stats.has_npn:
        table = stats.summary_table()
        rows_on_stdout = not args.output and fmt != "table"
        print(table, end="", file=sys.stderr if rows_on_stdout else sys.stdout)
        if args.summary:
            _write_text(args.summary, table)
    if args.plot and stats is not None:
        from .census_plot import plot_census
        plot_census(stats, args.plot)
    return 0


def _tee(records, done):
    for r in records:
        done.setdefault(r["source"], set()).add(r["index"])
        yield r


def _write_text(path: str, text: str) -> None:
    try:
        with open(path, "w", encoding="utf-8") as fh:
            fh.write(text)
    except OSError as exc:
        raise CommandError(f"cannot write {path}: {exc.strerror}") from None


def _measure(args) -> int:
    from .census import plan_census, run_census
    from .census_output import open_writer

    plan = plan_census([args.function], args.measures, fmt=args.input_format,
                       skip_bad=args.skip_bad, warn=_warn)
    if plan.total() != 1:
        raise CommandError(f"{args.function!r} names {plan.total()} functions, not one "
                           f"(use 'varnel census' for many)")
    got = []
    run_census(plan, [lambda chunk, cols, rows: got.append((chunk, cols, rows))], jobs=1)
    chunk, cols, rows = got[0]
    if args.format != "table":
        writer = open_writer(sys.stdout, args.format, plan.layout)
        writer.header()
        writer.write(chunk, cols, rows)
        writer.close()
        return 0
    from ._format import format_f32
    from .census_output import list_text
    kinds = dict(zip(plan.layout.measures, plan.layout.kinds))
    lines = [("function", chunk.functions[0]), ("n", str(chunk.n))]
    for c, v in zip(cols, rows[0]):
        kind = kinds[c]
        if v is None:
            text = "-"
        elif kind == "float":
            text = format_f32(v)
        elif kind == "list":
            text = list_text(v)
        elif kind == "word":
            text = f"0x{v:08x}"
        else:
            text = str(v)
        lines.append((c, text))
    width = max(len(name) for name, _ in lines)
    print("\n".join(f"{name.ljust(width)}  {text}" for name, text in lines))
    return 0


def _measures(args) -> int:
    from .census_measures import DEFAULT_BUDGET, _REGISTRY, largest_default_n

    print(f"A census takes by default every measure whose estimated work at n variables is at "
          f"most 2^{DEFAULT_BUDGET.bit_length() - 1} table reads:")
    for m in _REGISTRY:
        top = largest_default_n(m)
        low = next(n for n in range(41) if m.defined(n))
        span = f"n = {low}" if top == low else f"n = {low}..{top}"
        print(f"  {m.name:<24} {span}")
    print("Only when named: fragmentation_k:K, information:V,V,..., "
          "fragmentation_coefficient:V,V,..., influence:J")
    return 0


def _circuit(args) -> int:
    import varnelkit
    from .census_sources import SourceError, parse_table

    try:
        value, n = parse_table(args.function)
    except ValueError as exc:
        raise SourceError(str(exc)) from None
    if n > 5:
        raise CommandError(f"{args.function!r} has {n} variables: optimal circuits are for "
                           f"at most five")
    optimal_circuit = getattr(varnelkit, "optimal_circuit", None)
    if optimal_circuit is None:
        raise CommandError("optimal circuits need varnelkit.optimal_circuit, which this build lacks")
    from varnel import Varnel
    # A function of fewer inputs is the five-input function that ignores the rest.
    word = 0
    for copy in range(32 >> n):
        word |= value << (copy << n)
    circuit = optimal_circuit(Varnel.from_number(word, 5))
    if args.format:
        render = getattr(circuit, f"to_{args.format}", None)
        if render is None:
            raise CommandError(f"unknown circuit format {args.format!r}")
        print(render())
    else:
        print(circuit)
    return 0


def main(argv: Sequence[str] | None = None) -> int:
    from ._optional import MissingDependency
    from .census_measures import MeasureError
    from .census_sources import SourceError

    global _exiting_after
    args = _parser().parse_args(argv)
    _exiting_after = argv is None
    try:
        return args.run(args)
    except BrokenPipeError:
        # The reader went away (varnel census ... | head): stop quietly.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return EXIT_ERROR
    except (CommandError, SourceError, MeasureError, MissingDependency, OSError) as exc:
        print(f"varnel: error: {exc}", file=sys.stderr)
        return EXIT_ERROR
    except KeyboardInterrupt:
        return EXIT_INTERRUPTED


if __name__ == "__main__":
    sys.exit(main())
