# The peer side of bench_imaging: numpy and astropy doing the same work as Zeta on the same
# FITS frame, one thread, best of several runs. Prints "name milliseconds" lines.
import sys
import time

import numpy as np
from astropy.io import fits

path, black, white, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])


def best(work):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times) * 1000


data = fits.getdata(path)


def statistics():
    # Every fourth pixel, 256 bins of high bytes, min, max, mean, median and automatic points.
    flat = data.ravel()
    size = flat.size
    count = size // 4
    sampled = flat[: 4 * count : 4]
    bins = np.bincount(sampled >> 8, minlength=256)
    low, high, total = sampled.min(), sampled.max(), sampled.sum(dtype=np.int64)
    cumulative = np.cumsum(bins)
    median = int(np.argmax(cumulative >= size // 8))
    black_bin = np.argmax(cumulative > int(0.001 * size))
    white_bin = 255 - np.argmax(np.cumsum(bins[::-1]) > int(0.0005 * size))
    return low, high, total // count, median, black_bin, white_bin


def render():
    # A lookup table of the stretch, then grey into red, green and blue; saturated pixels red.
    values = np.arange(65536, dtype=np.float64)
    scale = (white - black) / 256.0
    table = np.clip((values - black) / scale, 0, 255).astype(np.uint8)
    grey = table[data]
    rgb = np.empty(data.shape + (3,), dtype=np.uint8)
    rgb[..., 0] = grey
    rgb[..., 1] = grey
    rgb[..., 2] = grey
    rgb[data == 65535] = (255, 0, 0)
    return rgb


print("statistics", best(statistics))
print("render", best(render))
print("fits_decode", best(lambda: fits.getdata(path)))
