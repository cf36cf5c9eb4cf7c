"""Figures of the rsyslog chain test, and its verdict.

chain_figures.py SAMPLES EVENTS LOCAL CENTRAL [LOCAL CENTRAL...]

SAMPLES: lines "TIME LOCAL1 LOCAL2 CENTRAL1 CENTRAL2 QUEUE_BYTES" (line
counts of each log and of its central file, the forwarder's queue on disk);
EVENTS: lines "TIME NAME" (central-stop, central-start, ...). Prints, per
log, the lines written and central, the repeats, the lines missing or out of
order, the half lines; then the delays and the queue's size per line. Exit 1
unless every central file is byte for byte its local log.
"""

import sys


def read_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().splitlines(keepends=True)
    except FileNotFoundError:
        return []


def compare(local, central):
    """Walks the central lines along the local ones: a line equal to the
    next local line is that line; one equal to a line already seen is a
    repeat; anything else is foreign (changed, or out of order)."""
    seen = set()
    i = repeats = foreign = 0
    for line in central:
        if i < len(local) and line == local[i]:
            seen.add(line)
            i += 1
        elif line in seen:
            repeats += 1
        else:
            foreign += 1
    half = sum(1 for line in central if not line.endswith(b"\r\n"))
    return {"matched": i, "repeats": repeats, "foreign": foreign, "missing": len(local) - i, "half": half}


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
              f"missing {c['missing']}, changed or out of order {c['foreign']}, half lines {c['half']}, "
              f"byte-identical {'yes' if same else 'NO'}")
        ok = ok and same

        # Delay of each line: from the sample where the local log first has
        # it to the one where the central file first has as many lines.
        stop, start = events.get("central-stop"), events.get("central-start")
        delays, outage_delays = [], []
        for k in range(1, len(local) + 1):
            written = first_time(samples, 1 + n, k)
            arrived = first_time(samples, 1 + len(pairs) + n, k)
            if written is None or arrived is None:
                continue
            delay = max(0.0, arrived - written)
            delays.append(delay)
            if stop is not None and start is not None and written >= stop:
                outage_delays.append(delay)
        if delays:
            print(f"  delay from the local log to the central file: longest {max(delays):.1f} s; "
                  f"longest for a line written after the central server stopped {max(outage_delays or [0]):.1f} s")
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
