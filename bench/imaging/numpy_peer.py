# The peer side of bench_imaging: numpy and astropy doing Zeta's work on the same frames, one
# thread, as a practised numpy user would write it. Kept running by bench_imaging, which takes
# its runs in turn with Zeta's: each line read names a piece of work, run once, and the answer
# is its milliseconds. "outputs" writes what it decoded and rendered next to the frames, in
# Zeta's layout, and answers "statistics_values ..." with the statistics found, for
# bench_imaging to check equal. A count after the name runs the work that many times and
# answers the milliseconds of one. The end of the input ends it.
import sys
import time

import numpy as np
from astropy.io import fits

folder, black, white = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])


def read(name):
    with open(f"{folder}/{name}", "rb") as f:
        return f.read()


def decode(raw, hdu=0):
    # astropy's fastest way from bytes in memory: unscaled 8-bit data stays a view of them.
    return fits.HDUList.fromstring(raw, uint=True)[hdu].data


frame16 = read("frame16.fits")
data = decode(frame16)
flat = data.ravel()


def statistics():
    # Every fourth pixel counted once per value; the rest comes from the counts.
    size = flat.size
    count = size // 4
    counts = np.bincount(flat[: 4 * count : 4], minlength=65536)
    present = np.flatnonzero(counts)
    low, high = present[0], present[-1]
    total = int(counts @ np.arange(65536, dtype=np.int64))
    bins = counts.reshape(256, 256).sum(axis=1)
    cumulative = np.cumsum(bins)
    median = int(np.argmax(cumulative >= size // 8)) * 256
    black_bin = int(np.argmax(cumulative > int(0.001 * size)))
    white_bin = 255 - int(np.argmax(np.cumsum(bins[::-1]) > int(0.0005 * size)))
    return [int(low), int(high), total // count, median, black_bin * 256, white_bin * 256] + bins.tolist()


lut = np.empty((65536, 3), dtype=np.uint8)
values = np.arange(65536, dtype=np.float64)
rgb = np.empty((flat.size, 3), dtype=np.uint8)


def render():
    # The stretch into a preallocated RGB table (saturated pixels red), then one gather.
    scale = (white - black) / 256.0
    grey = np.clip((values - black) / scale, 0, 255).astype(np.uint8)
    lut[:, 0] = grey
    lut[:, 1] = grey
    lut[:, 2] = grey
    lut[65535] = (255, 0, 0)
    np.take(lut, flat, axis=0, out=rgb)


def interleaved(raw):
    # Planes of red, green and blue into RGB pixels, Zeta's bitmap layout.
    return np.ascontiguousarray(np.moveaxis(decode(raw), 0, -1))


frames = {
    "fits_decode": (frame16, lambda raw: decode(raw)),
    "fits_decode_8bit": (read("frame8.fits"), lambda raw: decode(raw)),
    "fits_decode_rgb": (read("rgb.fits"), interleaved),
    "fits_decode_tiled": (read("tiled.fits.fz"), lambda raw: decode(raw, 1)),
}
work = {"statistics": statistics, "render": render}
for name, (raw, decoder) in frames.items():
    work[name] = lambda raw=raw, decoder=decoder: decoder(raw)


def outputs():
    render()
    rgb.tofile(f"{folder}/render.peer")
    for name, (raw, decoder) in frames.items():
        np.ascontiguousarray(decoder(raw)).tofile(f"{folder}/{name}.peer")
    return "statistics_values " + " ".join(str(v) for v in statistics())


for line in sys.stdin:
    name, _, times = line.strip().partition(" ")
    if name == "outputs":
        print(outputs(), flush=True)
        continue
    times = int(times or 1)
    start = time.perf_counter()
    for _ in range(times):
        work[name]()
    print((time.perf_counter() - start) * 1000 / times, flush=True)
