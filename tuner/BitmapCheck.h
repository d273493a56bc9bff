#pragma once
// Checks a Windows bitmap file (.bmp) before the image decoder sees it. The decoder trusts the header:
// it accepts a file that ends inside its pixel rows and leaves the missing pixels as whatever the heap
// held, so a damaged file must be refused here. Plain function of the file's bytes; any thread.

#include <cstddef>
#include <cstdint>

// Nullptr when the file is a complete, self-consistent bitmap; otherwise a short English reason.
// Refused: no "BM" signature; a file shorter than its file size field or than any structure its headers
// declare (info header, bit masks, colour table, image size, pixel rows); an info header size other than
// 12, 40, 52, 56, 108 or 124; zero or negative width; zero height; more than 32767 pixels in either
// direction; planes other than 1; a bit count other than 1, 4, 8, 16, 24 or 32; a compression that does
// not fit the bit count (RLE8 needs 8 bits, RLE4 4 bits, bit fields 16 or 32, nothing else is read); a
// colour table larger than the bit count allows; a pixel offset inside the headers or past the end; and
// run-length data that runs out, overruns a row, skips pixels (deltas, early line or bitmap ends) or
// fails to end the bitmap.
const char* BitmapFileFault(const uint8_t* Data, std::size_t Size);
