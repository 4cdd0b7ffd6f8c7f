#!/usr/bin/env python3
"""The arithmetic of scripts/bench, one figure per call, written as its table
shows it:

    bench-stats.py median FILE [COLUMN]      median of a column (1st) of numbers, 0 when none
    bench-stats.py ratio A B                 A / B to two places; n/a unless B > 0
    bench-stats.py verdict VALUE TARGET [<]  holds when VALUE <= TARGET (< TARGET), else missed
    bench-stats.py change FROM TO BY FORMAT  (TO - FROM) / BY in printf FORMAT
    bench-stats.py sum COLUMN                sum of a column of the lines on standard input

A missing or unreadable number counts as 0, except in a ratio's divisor and a
verdict's value.
"""
import sys


def number(text):
    try:
        return float(text)
    except ValueError:
        return None


def shown(value):
    """A computed number as the table has always shown one: whole numbers without a point."""
    return str(int(value)) if value == int(value) else "%.6g" % value


def median(path, column="1"):
    fields = [line.split() for line in open(path)]
    values = sorted((f[int(column) - 1] for f in fields if len(f) >= int(column)), key=lambda v: number(v) or 0)
    if not values:
        return "0"
    middle = len(values) // 2
    if len(values) % 2:
        return values[middle]  # as written
    return shown(((number(values[middle - 1]) or 0) + (number(values[middle]) or 0)) / 2)


def ratio(a, b):
    divisor = number(b)
    return "%.2f" % ((number(a) or 0) / divisor) if divisor and divisor > 0 else "n/a"


def verdict(value, target, strict=""):
    v, t = number(value), float(target)
    return "holds" if v is not None and (v < t if strict == "<" else v <= t) else "missed"


def change(start, end, by, form):
    return form % (((number(end) or 0) - (number(start) or 0)) / float(by))


def total(column):
    values = (line.split() for line in sys.stdin)
    return shown(sum(number(f[int(column) - 1]) or 0 for f in values if len(f) >= int(column)))


COMMANDS = {"median": median, "ratio": ratio, "verdict": verdict, "change": change, "sum": total}

if __name__ == "__main__":
    print(COMMANDS[sys.argv[1]](*sys.argv[2:]))
