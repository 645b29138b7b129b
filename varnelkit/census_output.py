"""Writing census rows: a terminal table, CSV or JSON Lines; reading them back.

Values are written as the numbers they are: integers as integers,
single-precision results in their shortest form (0.4), lists as
``[a,b,...]`` (a JSON array; quoted in CSV), five-input words as hex. A
measure not taken for a row is an empty CSV field or a JSON null.
"""

from __future__ import annotations

import csv
import json
import os
from itertools import repeat
from math import copysign
from typing import IO, Iterable, Iterator

from ._format import format_f32
from .census_sources import Chunk

__all__ = ["Layout", "Writer", "open_writer", "read_back", "format_for"]


class Layout:
    """The columns of a census: the identity of each function, then its
    measures (kinds ``int``, ``float``, ``list``, ``word``)."""

    def __init__(self, measures: list[str], kinds: list[str], npn: bool):
        self.identity = ["source", "index", "n", "function"] + (["orbit_size"] if npn else [])
        self.measures = list(measures)
        self.kinds = list(kinds)
        self.columns = self.identity + self.measures
        self._maps: dict[tuple[str, ...], list[int | None]] = {}

    def positions(self, cols: tuple[str, ...]) -> list[int | None]:
        """For each measure column of the layout, its position in ``cols``."""
        found = self._maps.get(cols)
        if found is None:
            where = {c: i for i, c in enumerate(cols)}
            found = self._maps[cols] = [where.get(c) for c in self.measures]
        return found


_LAST: list = [None, None]


def transpose(rows: list[list]) -> list[tuple]:
    """The columns of a chunk's rows (the last chunk's are kept, as every
    sink of a census asks for the same chunk in turn)."""
    if _LAST[0] is not rows:
        _LAST[0], _LAST[1] = rows, list(zip(*rows))
    return _LAST[1]


class _FloatText(dict):
    """Shortest text of single-precision values, each found once.

    Zero is never kept: 0.0 and -0.0 are equal keys but print differently."""

    def __missing__(self, x: float) -> str:
        text = format_f32(x)
        if x != 0.0:
            if len(self) > 1 << 21:
                self.clear()
            self[x] = text
        return text


_FLOAT_TEXT = _FloatText()
_float_text = _FLOAT_TEXT.__getitem__


def _signed_text(x: float) -> str:
    if x == 0.0:
        return "-0.0" if copysign(1.0, x) < 0 else "0.0"
    return _float_text(x)


def _float_column(values: tuple):
    if values.count(values[0]) == len(values):
        return repeat(_signed_text(values[0]), len(values))
    if 0.0 in values:
        return map(_signed_text, values)
    return map(_float_text, values)


def list_text(values) -> str:
    """A list of single-precision values as a JSON array."""
    return "[" + ",".join(map(_signed_text, values)) + "]"


class _Style:
    """How one output format writes values."""

    def __init__(self, missing: str, list_open: str, list_close: str, word: str):
        self.missing = missing
        self.list_open, self.list_close = list_open, list_close
        self.word = word.format
        self.word_spec = word.replace("{:08x}", "%08x")

    def one(self, kind: str, v) -> str:
        if v is None:
            return self.missing
        if kind == "float":
            return _signed_text(v)
        if kind == "int":
            return str(v)
        if kind == "word":
            return self.word(v)
        return self.list_open + ",".join(map(_signed_text, v)) + self.list_close

    def column(self, kind: str, values: tuple, count: int):
        """Text of one column of values (an iterator of ``count`` strings).

        The common case runs in C-level iterators: a chunk's lists all have
        the same length, so the i-th entries of every list form a column."""
        if None in values:
            return [self.one(kind, v) for v in values]
        if kind == "float":
            return _float_column(values)
        if kind == "int":
            return map(str, values)
        if kind == "word":
            return map(self.word, values)
        if len(set(map(len, values))) != 1:
            return [self.one(kind, v) for v in values]
        if not values[0]:
            return repeat(self.list_open + self.list_close, count)
        parts = [_float_column(entries) for entries in zip(*values)]
        parts[0] = map(self.list_open.__add__, parts[0])
        parts[-1] = map(str.__add__, parts[-1], repeat(self.list_close))
        return map(",".join, zip(*parts))


_CSV = _Style("", '"[', ']"', "0x{:08x}")
_JSON = _Style("null", "[", "]", '"0x{:08x}"')
_PLAIN = _Style("", "[", "]", "0x{:08x}")


def _csv_field(s: str) -> str:
    if any(c in s for c in ',"\n\r'):
        return '"' + s.replace('"', '""') + '"'
    return s


def _csv_fields(texts: list[str]):
    whole = "".join(texts)
    if any(c in whole for c in ',"\n\r'):
        return map(_csv_field, texts)
    return texts


class Writer:
    """Writes batches of rows to a stream as they arrive."""

    def __init__(self, stream: IO[str], layout: Layout):
        self.stream = stream
        self.layout = layout
        self.rows = 0

    def header(self) -> None:
        pass

    def write(self, chunk: Chunk, cols: tuple[str, ...], rows: list[list]) -> None:
        raise NotImplementedError

    def _columns(self, cols: tuple[str, ...], rows: list[list], style: _Style):
        """Text of each measure column of the layout for these rows."""
        count = len(rows)
        transposed = list(zip(*rows)) if rows else []
        out = []
        for kind, pos in zip(self.layout.kinds, self.layout.positions(cols)):
            if pos is None:
                out.append(repeat(style.missing, count))
            else:
                out.append(style.column(kind, transposed[pos], count))
        return out

    def _text(self, chunk: Chunk, cols: tuple[str, ...], rows: list[list], style: _Style,
              keys: list[str] | None) -> str:
        """The lines of these rows, made by one %-template per chunk: integers
        go in as %d, every other value as the text of its kind, and lists
        of one length as one placeholder per entry."""
        fields: list[str] = []
        feeds: list = []
        json_mode = keys is not None

        def literal(text: str) -> None:
            fields.append(text.replace("%", "%%"))

        def field(conversion: str, feed) -> None:
            fields.append(conversion)
            feeds.append(feed)

        literal(json.dumps(chunk.source) if json_mode else _csv_field(chunk.source))
        field("%d", chunk.indices)
        literal(str(chunk.n))
        functions = chunk.functions
        if json_mode:
            whole = "".join(functions)
            if '"' in whole or "\\" in whole:
                field("%s", map(json.dumps, functions))
            else:
                field('"%s"', functions)
        else:
            field("%s", _csv_fields(functions))
        if len(self.layout.identity) == 5:
            if chunk.orbit_sizes is None:
                literal(style.missing)
            else:
                field("%d", chunk.orbit_sizes)
        transposed = transpose(rows)
        for kind, pos in zip(self.layout.kinds, self.layout.positions(cols)):
            if pos is None:
                literal(style.missing)
                continue
            values = transposed[pos]
            if None in values or (kind == "list" and len(set(map(len, values))) != 1):
                field("%s", [style.one(kind, v) for v in values])
            elif kind == "int":
                field("%d", values)
            elif kind == "float":
                field("%s", _float_column(values))
            elif kind == "word":
                field(style.word_spec, values)
            elif not values[0]:
                literal(style.list_open + style.list_close)
            else:
                entries = list(zip(*values))
                fields.append(style.list_open.replace("%", "%%")
                              + ",".join(["%s"] * len(entries))
                              + style.list_close.replace("%", "%%"))
                feeds.extend(_float_column(e) for e in entries)
        if keys is not None:
            fields = [k.replace("%", "%%") + f for k, f in zip(keys, fields)]
            template = "{" + ",".join(fields) + "}\n"
        else:
            template = ",".join(fields) + "\n"
        return "".join(map(template.__mod__, zip(*feeds)))

    def close(self) -> None:
        self.stream.flush()


class CSVWriter(Writer):
    def header(self):
        self.stream.write(",".join(self.layout.columns) + "\n")

    def write(self, chunk, cols, rows):
        self.stream.write(self._text(chunk, cols, rows, _CSV, None))
        self.rows += len(rows)


class JSONLWriter(Writer):
    def __init__(self, stream, layout):
        super().__init__(stream, layout)
        self.keys = [json.dumps(c) + ":" for c in layout.columns]

    def write(self, chunk, cols, rows):
        self.stream.write(self._text(chunk, cols, rows, _JSON, self.keys))
        self.rows += len(rows)


class TableWriter(Writer):
    """A table for a terminal: aligned columns, values in their short form."""

    WIDTH = {"int": 6, "float": 10, "word": 10, "list": 24}

    def __init__(self, stream, layout):
        super().__init__(stream, layout)
        self.widths = None

    def _set_widths(self, chunk):
        widths = [max(6, len(chunk.source)), 6, 2, max(10, max(map(len, chunk.functions)))]
        if len(self.layout.identity) == 5:
            widths.append(10)
        widths += [max(len(c), self.WIDTH[k]) for c, k in zip(self.layout.measures, self.layout.kinds)]
        self.widths = widths
        self.stream.write("  ".join(c.rjust(w) for c, w in zip(self.layout.columns, widths)) + "\n")

    def write(self, chunk, cols, rows):
        if self.widths is None:
            self._set_widths(chunk)
        count = len(rows)
        ident = [repeat(chunk.source, count), map(str, chunk.indices), repeat(str(chunk.n), count),
                 iter(chunk.functions)]
        if len(self.layout.identity) == 5:
            ident.append(repeat("", count) if chunk.orbit_sizes is None
                         else map(str, chunk.orbit_sizes))
        w = self.widths
        for cells in zip(*ident, *self._columns(cols, rows, _PLAIN)):
            self.stream.write("  ".join(c.rjust(x) for c, x in zip(cells, w)).rstrip() + "\n")
        self.rows += count


def format_for(path: str | None, fmt: str | None, terminal: bool) -> str:
    """The output format: as given, else from the file's extension, else a
    table on a terminal and CSV otherwise."""
    if fmt:
        return fmt
    if path:
        ext = os.path.splitext(path)[1].lower()
        if ext in (".jsonl", ".json", ".ndjson"):
            return "jsonl"
        if ext in (".txt",):
            return "table"
        return "csv"
    return "table" if terminal else "csv"


_WRITERS = {"csv": CSVWriter, "jsonl": JSONLWriter, "table": TableWriter}


def open_writer(stream: IO[str], fmt: str, layout: Layout) -> Writer:
    return _WRITERS[fmt](stream, layout)


# Reading back ----------------------------------------------------------------

def _complete_lines(path: str) -> None:
    """Cut a last line left unfinished by a stopped run."""
    with open(path, "rb+") as fh:
        fh.seek(0, os.SEEK_END)
        size = fh.tell()
        if size == 0:
            return
        fh.seek(size - 1)
        if fh.read(1) == b"\n":
            return
        block = 1 << 16
        pos = size
        while pos > 0:
            start = max(0, pos - block)
            fh.seek(start)
            data = fh.read(pos - start)
            cut = data.rfind(b"\n")
            if cut >= 0:
                fh.truncate(start + cut + 1)
                return
            pos = start
        fh.truncate(0)


def _parse_value(kind: str, text):
    if text is None or text == "":
        return None
    if kind == "int":
        return int(text)
    if kind == "float":
        return float(text)
    if kind == "word":
        return int(text, 16) if isinstance(text, str) else text
    return json.loads(text) if isinstance(text, str) else text


def read_back(path: str, fmt: str, layout: Layout) -> Iterator[dict]:
    """The rows of an earlier run's output file as dictionaries of values.

    An unfinished last line is removed from the file first. ValueError when
    the file's columns are not this run's."""
    _complete_lines(path)
    kinds = dict(zip(layout.measures, layout.kinds))
    with open(path, newline="", encoding="utf-8") as fh:
        if fmt == "csv":
            reader = csv.reader(fh)
            header = next(reader, None)
            if header is None:
                return
            if header != layout.columns:
                raise ValueError(f"{path} has the columns of another census "
                                 f"({','.join(header[:6])}...)")
            records: Iterable[dict] = (dict(zip(header, r)) for r in reader)
        else:
            records = (json.loads(line) for line in fh if line.strip())
        for rec in records:
            if fmt == "jsonl" and list(rec) != layout.columns:
                raise ValueError(f"{path} has the columns of another census")
            out = {"source": rec["source"], "index": int(rec["index"]), "n": int(rec["n"]),
                   "function": rec["function"]}
            if "orbit_size" in rec:
                out["orbit_size"] = _parse_value("int", rec["orbit_size"])
            for c, kind in kinds.items():
                out[c] = _parse_value(kind, rec[c])
            yield out


def has_header(path: str, fmt: str) -> bool:
    return fmt == "csv" and os.path.exists(path) and os.path.getsize(path) > 0
