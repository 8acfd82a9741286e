# The peer side of bench_bahtinov: the same Bahtinov line search in numpy, one start point at
# a time with every end point of it scored at once. Reads the frame's raw 16-bit samples
# (top row first), then, kept running by bench_bahtinov, runs the search once for each line
# it reads and answers its milliseconds; "lines" answers the last run's lines, joined by "|".
import sys
import time

import numpy as np

path, width, height, x, y, w, h = sys.argv[1], *map(int, sys.argv[2:8])
frame = np.fromfile(path, dtype=np.uint16).reshape(height, width).astype(np.int64)
assert w == h, "the peer handles square selections, where every segment runs along one axis"


def nearest(v):
    r = np.trunc(v)
    f = v - r
    return (r + (f >= 0.5) - (f <= -0.5)).astype(np.int64)


def value(px, py):
    row = height - py
    inside = (px >= 0) & (px < width) & (row >= 0) & (row < height)
    out = np.zeros(px.shape, dtype=np.int64)
    out[inside] = frame[row[inside], px[inside]]
    return out


def best_of(starts_along, ends_across, fixed_start, fixed_end, along_is_x, length):
    # Segments from (fixed_start, s) to (fixed_end, e) along the long axis, for every e at once.
    n = length - 2
    t = n // 3
    i = np.concatenate([np.arange(0, t), np.arange(2 * t + 1, n + 1)])
    k = (i + 1).astype(np.float64)
    results = []
    for s in starts_along:
        step = (ends_across - s).astype(np.float64) / length
        a = fixed_start + (i + 1)
        b = nearest(s + np.outer(step, k))
        aa = np.broadcast_to(a, b.shape)
        v = value(aa, b) if along_is_x else value(b, aa)
        scores = v.sum(axis=1) / n
        j = int(np.argmax(scores))
        results.append((s, int(ends_across[j]), float(scores[j])))
    return results


def lines():
    out = []
    for s, e, score in best_of(np.arange(y, y + h), y + np.arange(h), x, x + w, True, w):
        angle = np.fmod(np.arctan2(s - e, w) + np.pi, np.pi)
        out.append((0, s - y, w, e - y, score, angle))
    for s, e, score in best_of(np.arange(x, x + w), x + np.arange(w), y, y + h, False, h):
        angle = np.fmod(np.arctan2(h, s - e) + np.pi, np.pi)
        out.append((s - x, 0, e - x, h, score, angle))
    scores = np.array([l[4] for l in out])
    c = int(np.argmax(scores))
    a0 = out[c][5]
    angles = np.array([l[5] for l in out])
    result = [out[c]]
    for d in (np.fmod(angles - a0 + np.pi, np.pi), np.fmod(a0 - angles + np.pi, np.pi)):
        ok = (d > np.pi / 12) & (d < np.pi / 6)
        result.append(out[int(np.argmax(np.where(ok, scores, -1)))] if ok.any() else None)
    return result


result = None
for request in sys.stdin:
    if request.strip() == "lines":
        print("|".join("line %d %d %d %d %.9f" % l[:5] if l else "line none" for l in result), flush=True)
        continue
    start = time.perf_counter()
    result = lines()
    print((time.perf_counter() - start) * 1000, flush=True)
