#!/usr/bin/env python3
"""Writes a log as the logger writes it: LINES polls one second apart from
2026-12-01 00:00:00, 17 sensors wandering slowly, and an offline spell of
300 failed polls every 20,000 polls. Usage: week_log.py LINES > FILE"""
import math
import sys
from datetime import datetime, timedelta

lines = int(sys.argv[1])
start = datetime(2026, 12, 1)
out = sys.stdout.buffer
failed = ",".join(["-2048000."] * 17)
# A slow wave per sensor, with a little noise, formatted once.
wave = [
    [f"{20 + s + 5 * math.sin(k * 2 * math.pi / 1440) + (k * 7 % 13) / 20:.2f}".rstrip("0") for k in range(1440)]
    for s in range(17)
]
clock = [f"{t // 3600:02}:{t // 60 % 60:02}:{t % 60:02}" for t in range(86400)]
chunk = []
for i in range(lines):
    stamp = (start + timedelta(days=i // 86400)).strftime("%Y-%m-%d ") + clock[i % 86400]
    if i % 20000 >= 19700:
        chunk.append(f"{stamp},Lab North,{failed},ERROR\r\n")
    else:
        k = i // 60 + i % 7
        readings = ",".join(wave[s][(k + 90 * s) % 1440] for s in range(17))
        chunk.append(f"{stamp},Lab North,{readings},OK\r\n")
    if len(chunk) >= 10000:
        out.write("".join(chunk).encode())
        chunk = []
out.write("".join(chunk).encode())
