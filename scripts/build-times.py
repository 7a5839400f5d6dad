#!/usr/bin/env python3
"""Where a build's time went: the compile and link steps of a Ninja build
tree's log (.ninja_log), summed per target and listed per file, longest first.

    scripts/build-times.py BUILD_DIR [COUNT]

Only the steps of the last build of each output count (Ninja logs a step
again when it is rebuilt). Times are wall-clock seconds of each step; with
N jobs at once their sum is about N times the build's own time.
"""
import os
import re
import sys


def steps(log_path):
    latest = {}
    with open(log_path, encoding="utf-8", errors="replace") as log:
        for line in log:
            if line.startswith("#"):
                continue
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 4:
                continue
            start, end, output = int(fields[0]), int(fields[1]), fields[3]
            latest[output] = (end - start) / 1000.0
    return latest


def target_of(output):
    match = re.search(r"CMakeFiles/([^/]+)\.dir/", output)
    if match:
        return match.group(1)
    return os.path.basename(output)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    latest = steps(os.path.join(build, ".ninja_log"))
    per_target = {}
    for output, seconds in latest.items():
        per_target[target_of(output)] = per_target.get(target_of(output), 0.0) + seconds
    total = sum(latest.values())
    print(f"{len(latest)} steps, {total:.0f} s in all")
    print(f"\nTargets, longest first (top {count}):")
    for name, seconds in sorted(per_target.items(), key=lambda kv: -kv[1])[:count]:
        print(f"  {seconds:7.1f} s  {100 * seconds / total:4.1f} %  {name}")
    print(f"\nSteps, longest first (top {count}):")
    for output, seconds in sorted(latest.items(), key=lambda kv: -kv[1])[:count]:
        print(f"  {seconds:7.1f} s  {output}")


if __name__ == "__main__":
    main()
