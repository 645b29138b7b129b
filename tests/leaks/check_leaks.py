"""Reads the AddressSanitizer reports of `make test-leaks` (one file per
process) and fails when any of them shows a memory error, or a leak with a
frame in our sources. The interpreter does not free all of its own memory at
exit; those leaks have no frame of ours and are only counted."""
import pathlib
import re
import sys

OURS = re.compile(r"/(varnel|varnel-py|opt5)/")


def main(directory):
    reports = sorted(pathlib.Path(directory).glob("report*"))
    leaks = ours = leaked_bytes = 0
    errors = []
    for report in reports:
        text = report.read_text(errors="replace")
        for match in re.finditer(r"ERROR: AddressSanitizer: ([^\n]*)", text):
            errors.append(f"{report.name}: {match.group(1)}")
        for record in re.split(r"\n(?=(?:Direct|Indirect) leak of )", text):
            head = re.match(r"(?:Direct|Indirect) leak of (\d+) byte", record)
            if not head:
                continue
            leaks += 1
            leaked_bytes += int(head.group(1))
            frames = [line for line in record.splitlines() if re.match(r"\s+#\d+ ", line)]
            if any(OURS.search(frame) for frame in frames):
                ours += 1
                errors.append(f"{report.name}: leak with a frame of ours:\n" + "\n".join(frames))
    print(f"{len(reports)} sanitizer reports; {leaks} leak records ({leaked_bytes} bytes) "
          f"from the interpreter, {ours} with a frame of ours")
    for error in errors:
        print(error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
