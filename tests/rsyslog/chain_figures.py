"""Figures of the rsyslog chain test, and its verdict.

chain_figures.py SAMPLES EVENTS LOCAL CENTRAL [LOCAL CENTRAL...]

SAMPLES: lines "TIME LOCAL1 LOCAL2 CENTRAL1 CENTRAL2 QUEUE_BYTES" (line
counts of each log and of its central file, the forwarder's queue on disk);
EVENTS: lines "TIME NAME" (central-stop, central-start, ...). Prints, per
log, the lines written and central, the repeats, the lines missing or out of
order, the half lines; then the delays and the queue's size per line. Exit 1
unless every central file is byte for byte its local log.
"""

import difflib
import sys
from collections import Counter


def read_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().splitlines(keepends=True)
    except FileNotFoundError:
        return []


def compare(local, central):
    """Counts, between a local log and its central copy: the lines repeated
    (each further copy of a local line), missing (a local line with no
    copy), foreign (in neither the log nor as a copy: a changed line), out
    of place (a line that is there once, but not in the log's order) and
    half lines (central lines without their CR LF)."""
    lc, cc = Counter(local), Counter(central)
    repeats = sum(max(0, n - lc[line]) for line, n in cc.items() if line in lc)
    missing = sum(max(0, n - cc[line]) for line, n in lc.items())
    foreign = sum(n for line, n in cc.items() if line not in lc)
    firsts, seen = [], set()
    for line in central:
        if line in lc and line not in seen:
            seen.add(line)
            firsts.append(line)
    matcher = difflib.SequenceMatcher(None, local, firsts, autojunk=False)
    in_order = sum(block.size for block in matcher.get_matching_blocks())
    half = sum(1 for line in central if not line.endswith(b"\r\n"))
    return {"repeats": repeats, "missing": missing, "foreign": foreign, "out_of_place": len(firsts) - in_order,
            "half": half}


def first_time(samples, column, count):
    for row in samples:
        if row[column] >= count:
            return row[0]
    return None


def main(argv):
    samples = [[float(x) for x in line.split()] for line in open(argv[1]) if len(line.split()) == 6]
    events = {}
    for line in open(argv[2]):
        t, name = line.split()
        events.setdefault(name, float(t))
    pairs = list(zip(argv[3::2], argv[4::2]))
    ok = True
    for n, (local_path, central_path) in enumerate(pairs):
        local = read_lines(local_path)
        central = read_lines(central_path)
        same = open(local_path, "rb").read() == (open(central_path, "rb").read() if central else b"")
        c = compare(local, central)
        print(f"{local_path}: lines written {len(local)}, central {len(central)}, repeats {c['repeats']}, "
              f"missing {c['missing']}, changed {c['foreign']}, out of place {c['out_of_place']}, half lines {c['half']}, "
              f"byte-identical {'yes' if same else 'NO'}")
        ok = ok and same

        # Delay of each line: from the sample where the local log first has
        # it to the one where the central file first has as many lines.
        stop, start = events.get("central-stop"), events.get("central-start")
        delays, outage_delays, after_delays = [], [], []
        for k in range(1, len(local) + 1):
            written = first_time(samples, 1 + n, k)
            arrived = first_time(samples, 1 + len(pairs) + n, k)
            if written is None or arrived is None:
                continue
            delay = max(0.0, arrived - written)
            delays.append(delay)
            if stop is not None and start is not None and written >= stop:
                (after_delays if written >= start else outage_delays).append(delay)
        if delays:
            print(f"  delay from the local log to the central file: longest {max(delays):.1f} s; "
                  f"for a line written while the central server was away {max(outage_delays or [0]):.1f} s, "
                  f"after it was back {max(after_delays or [0]):.1f} s (0.2 s steps)")
        if start is not None:
            at_start = [row for row in samples if row[0] <= start]
            if at_start:
                due = at_start[-1][1 + n]
                back = first_time(samples, 1 + len(pairs) + n, due)
                if back is not None:
                    print(f"  after the central server came back: the {int(due)} lines written by then "
                          f"were in {back - start:.1f} s")

    # The queue on disk while the central server was away: bytes per line
    # waiting, and per hour at one poll a second.
    stop, start = events.get("central-stop"), events.get("central-start")
    if stop is not None and start is not None:
        during = [row for row in samples if stop < row[0] < start]
        if during:
            peak = max(during, key=lambda row: row[-1])
            waiting = sum(peak[1:1 + len(pairs)]) - sum(peak[1 + len(pairs):1 + 2 * len(pairs)])
            print(f"queue on disk during the outage: at most {int(peak[-1])} bytes for {int(waiting)} lines waiting")
            if waiting > 0 and peak[-1] > 0:
                per_line = peak[-1] / waiting
                print(f"  {per_line:.0f} bytes per line: {per_line * 3600 / 1e6:.2f} MB per hour of outage "
                      f"per logger at one poll a second (extrapolated)")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
