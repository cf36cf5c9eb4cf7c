#!/usr/bin/python3
"""A plain Python poller of the device page, as a yardstick for the logger.

Polls URL once per interval with urllib (a fresh connection each time),
reads t0..t7 and the device name with one regular expression each, and
appends one CSV line per poll to LOG, flushed to stable storage with
os.fsync before the next poll unless --no-fsync. With --idle it wakes on
the same schedule but never polls, which gives the cost of waiting alone.
Only loopback URLs are polled; polls and run time are both bounded.

Usage: python_poller.py URL LOG [--polls N] [--seconds S] [--interval I]
                        [--no-fsync] [--idle]
"""

import argparse
import os
import re
import sys
import time
import urllib.parse
import urllib.request

SENSORS = 8
TAGS = [re.compile(rb"<t%d>(.*?)</t%d>" % (i, i), re.IGNORECASE | re.DOTALL) for i in range(SENSORS)]
NAME = re.compile(rb"<devicename>(.*?)</devicename>", re.IGNORECASE | re.DOTALL)
NUMBER = re.compile(rb"\s*[-+]?\d*\.?\d*")
LOOPBACK = {"127.0.0.1", "localhost", "::1"}


def reading(match):
    """The leading number of an element, 0 when there is none."""
    if match is None:
        return 0.0
    try:
        return float(NUMBER.match(match.group(1)).group(0))
    except ValueError:
        return 0.0


def poll_line(url, timeout):
    stamp = time.strftime("%Y-%m-%d %H:%M:%S")
    try:
        with urllib.request.urlopen(url, timeout=timeout) as answer:
            page = answer.read(1_000_000)
    except (OSError, ValueError):
        return "%s,,%sERROR\r\n" % (stamp, "-2048000.," * SENSORS)
    name = NAME.search(page)
    name = name.group(1).decode("latin-1").strip() if name else ""
    values = ",".join(("%.2f" % reading(tag.search(page))).rstrip("0") for tag in TAGS)
    return "%s,%s,%s,OK\r\n" % (stamp, name, values)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("url")
    parser.add_argument("log")
    parser.add_argument("--polls", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--interval", type=float, default=1.0)
    parser.add_argument("--no-fsync", action="store_true")
    parser.add_argument("--idle", action="store_true")
    args = parser.parse_args()
    if not 0 <= args.polls <= 100_000 or not 0 < args.seconds <= 3600 or not 0.01 <= args.interval <= 60:
        parser.error("--polls 0..100000, --seconds up to 3600, --interval 0.01..60")
    target = urllib.parse.urlsplit(args.url)
    if target.scheme != "http" or target.hostname not in LOOPBACK:
        parser.error("only http:// URLs on loopback are polled")
    # No proxy from the environment, as the logger: the device is asked directly.
    urllib.request.install_opener(urllib.request.build_opener(urllib.request.ProxyHandler({})))

    # Like the logger's tick, the interval counts from the end of a poll.
    deadline = time.monotonic() + args.seconds
    for _ in range(args.polls):
        if time.monotonic() + args.interval > deadline:
            break
        time.sleep(args.interval)
        if args.idle:
            continue
        line = poll_line(args.url, timeout=1.0)
        with open(args.log, "a", encoding="latin-1", newline="") as log:
            log.write(line)
            log.flush()
            if not args.no_fsync:
                os.fsync(log.fileno())
    return 0


if __name__ == "__main__":
    sys.exit(main())
