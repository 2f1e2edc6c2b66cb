#!/usr/bin/env python3
"""Print a day's high and low waters from harmonic constants.

Usage: tide_table.py STATION.json 2024-06-21
"""

import json
import math
import sys
from dataclasses import dataclass
from datetime import datetime, timedelta

# Degrees per hour of the main constituents; see docs/maths.md.
SPEEDS = {
    "M2": 28.9841042,
    "S2": 30.0000000,
    "N2": 28.4397295,
    "K1": 15.0410686,
    "O1": 13.9430356,
}


@dataclass
class Constituent:
    name: str
    amplitude: float  # metres
    phase: float  # degrees

    def height(self, hours: float) -> float:
        angle = math.radians(SPEEDS[self.name] * hours - self.phase)
        return self.amplitude * math.cos(angle)


def load_station(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    return data["datum"], [Constituent(**c) for c in data["constituents"]]


def turning_points(datum, constituents, start, minutes=24 * 60):
    """Yield (time, height, 'high'|'low') for every turning point."""
    def level(m):
        return datum + sum(c.height(m / 60) for c in constituents)

    previous, current = level(-1), level(0)
    for m in range(1, minutes + 1):
        following = level(m)
        if current > previous and current >= following:
            yield start + timedelta(minutes=m - 1), current, "high"
        elif current < previous and current <= following:
            yield start + timedelta(minutes=m - 1), current, "low"
        previous, current = current, following


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    datum, constituents = load_station(argv[1])
    day = datetime.fromisoformat(argv[2])
    for when, height, kind in turning_points(datum, constituents, day):
        print(f"{when:%H:%M}  {height:5.2f} m  {kind}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
