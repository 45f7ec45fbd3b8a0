#!/usr/bin/python3
"""Scores tempo_probe on the tempo set made by bench/tempo_set.py, against the goals:
with the dance given, bars per minute within 1 and the meter right; bar lines right (at least 80 % of
the true bar starts met within 70 ms); the beats' F-measure at 70 ms; with no dance, the tempo within
4 % and no wrong answer marked sure.

    /usr/bin/python3 bench/tempo_score.py [FOLDER] [--probe build/tools/tempo_probe] [--jobs J] [--list]
"""

import argparse
import glob
import json
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

TOLERANCE = 0.070


def matched(estimates, truths, tolerance=TOLERANCE):
    """How many truths an estimate meets within the tolerance, one estimate to one truth at most."""
    hits, e = 0, 0
    estimates = sorted(estimates)
    for t in sorted(truths):
        while e < len(estimates) and estimates[e] < t - tolerance:
            e += 1
        if e < len(estimates) and abs(estimates[e] - t) <= tolerance:
            hits += 1
            e += 1
    return hits


def f_measure(estimates, truths):
    if not estimates or not truths:
        return 0.0
    hits = matched(estimates, truths)
    precision, recall = hits / len(estimates), hits / len(truths)
    return 0.0 if hits == 0 else 2 * precision * recall / (precision + recall)


def probe(program, audio, dance):
    command = [program] + (["--dance", dance] if dance else []) + [audio]
    run = subprocess.run(command, capture_output=True, text=True)
    if run.returncode != 0:
        return {"error": run.stderr.strip()}
    return json.loads(run.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", nargs="?", default="build/tempo-set")
    parser.add_argument("--probe", default="build/tools/tempo_probe")
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--list", action="store_true", help="print every piece's figures")
    arguments = parser.parse_args()

    pieces = []
    for path in sorted(glob.glob(os.path.join(arguments.folder, "*.json"))):
        with open(path) as file:
            truth = json.load(file)
        truth["name"] = os.path.splitext(os.path.basename(path))[0]
        truth["path"] = os.path.join(arguments.folder, truth["audio"])
        # The tempo is the median spacing of the beats, drift and all, as the program gives it.
        spacing = sorted(b - a for a, b in zip(truth["beats"], truth["beats"][1:]))
        truth["bpm"] = 60 / spacing[len(spacing) // 2]
        if truth["beatsPerBar"]:
            truth["barsPerMinute"] = truth["bpm"] / truth["beatsPerBar"]
        pieces.append(truth)

    def score(truth):
        row = {"name": truth["name"], "dance": truth["dance"]}
        blind = probe(arguments.probe, truth["path"], None)
        row["blind"] = blind
        if "error" not in blind:
            row["tempoRight"] = abs(blind["bpm"] / truth["bpm"] - 1) <= 0.04
            row["sure"] = blind["sure"]
        if truth["dance"]:
            given = probe(arguments.probe, truth["path"], truth["dance"])
            row["given"] = given
            if "error" not in given:
                bars = given["bpm"] / given["beatsPerBar"] if given["beatsPerBar"] else 0
                row["barsRight"] = abs(bars - truth["barsPerMinute"]) <= 1 and \
                    given["beatsPerBar"] == truth["beatsPerBar"]
                row["barLinesRight"] = matched(given["downbeats"], truth["downbeats"]) >= \
                    0.8 * len(truth["downbeats"])
                row["beatF"] = f_measure(given["beats"], truth["beats"])
                row["givenSure"] = given["sure"]
        row["truthBpm"] = truth["bpm"]
        return row

    with ThreadPoolExecutor(arguments.jobs) as pool:
        rows = list(pool.map(score, pieces))

    danced = [r for r in rows if r["dance"]]
    blind = rows

    def share(rows, key):
        return sum(1 for r in rows if r.get(key)) / len(rows) if rows else 0

    if arguments.list:
        for r in rows:
            b, g = r["blind"], r.get("given", {})
            print(f"{r['name']:28} truth {r['truthBpm']:6.1f}  blind {b.get('bpm', 0):6.1f}"
                  f"{' sure' if b.get('sure') else '     '}{'' if r.get('tempoRight') else ' WRONG'}"
                  + (f"  given {g.get('bpm', 0):6.1f}/{g.get('beatsPerBar', 0)} bars "
                     f"{'ok' if r.get('barsRight') else 'NO'} lines {'ok' if r.get('barLinesRight') else 'NO'} "
                     f"F {r.get('beatF', 0):.2f}{' sure' if r.get('givenSure') else ''}" if r["dance"] else ""))
    wrong_sure = [r["name"] for r in blind if r.get("sure") and not r.get("tempoRight")]
    wrong_sure_given = [r["name"] for r in danced if r.get("givenSure") and not r.get("barsRight")]
    print(f"pieces: {len(danced)} composed with a dance, {len(rows) - len(danced)} from Debian's MIDI music")
    print(f"dance given: bars per minute within 1 and meter right: {share(danced, 'barsRight'):.1%} (goal 97 %)")
    print(f"dance given: bar lines right: {share(danced, 'barLinesRight'):.1%} (goal 95 %)")
    mean_f = sum(r.get("beatF", 0) for r in danced) / len(danced) if danced else 0
    print(f"dance given: beat F-measure at 70 ms: {mean_f:.3f} (goal 0.95)")
    print(f"dance given: marked sure {share(danced, 'givenSure'):.1%}, wrong and sure: {len(wrong_sure_given)}")
    print(f"no dance: tempo within 4 %: {share(blind, 'tempoRight'):.1%} (goal 90 %); "
          f"composed {share(danced, 'tempoRight'):.1%}, Debian {share([r for r in rows if not r['dance']], 'tempoRight'):.1%}")
    print(f"no dance: marked sure {share(blind, 'sure'):.1%}, wrong and sure: {len(wrong_sure)} (goal 0) "
          + " ".join(wrong_sure))


if __name__ == "__main__":
    sys.exit(main())
