# Tile-compressed FITS frames whose values go below zero, several tiles each, written by
# astropy, and the plain frames for fpack to compress. Writes into the folder given:
#   astropy_<RICE_1|GZIP_1|HCOMPRESS_1>_<16|32>.fits   a grey frame 30 x 40, tiles 30 x 8
#   astropy_<RICE_1|GZIP_1|HCOMPRESS_1>_rgb.fits        a 16-bit 3-plane frame, tiles 30 x 8 x 1
#   plain_16.fits, plain_rgb.fits                        the same frames uncompressed
#   grey.values, rgb.values                              the values as astropy reads them back
#                                                        from the plain files: int32, little-endian
import sys

import numpy as np
from astropy.io import fits

out = sys.argv[1]
rng = np.random.default_rng(7)
grey = rng.integers(-3000, 3000, size=(40, 30)).astype(np.int16)
rgb = rng.integers(-20000, 20000, size=(3, 40, 30)).astype(np.int16)

for name, data in (("16", grey), ("rgb", rgb)):
    fits.PrimaryHDU(data).writeto(f"{out}/plain_{name}.fits")
for compression in ("RICE_1", "GZIP_1", "HCOMPRESS_1"):
    for name, data, tiles in (
        ("16", grey, (8, 30)),
        ("32", grey.astype(np.int32), (8, 30)),
        ("rgb", rgb, (1, 8, 30)),
    ):
        if compression == "HCOMPRESS_1" and name == "rgb":
            continue  # HCOMPRESS takes two-axis tiles only
        hdu = fits.CompImageHDU(data, compression_type=compression, tile_shape=tiles)
        fits.HDUList([fits.PrimaryHDU(), hdu]).writeto(f"{out}/astropy_{compression}_{name}.fits")

for name in ("16", "rgb"):
    values = fits.getdata(f"{out}/plain_{name}.fits").astype("<i4")
    values.tofile(f"{out}/{'grey' if name == '16' else 'rgb'}.values")
