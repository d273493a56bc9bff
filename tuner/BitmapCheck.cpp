#include "BitmapCheck.h"

namespace {

constexpr std::size_t FileHeaderBytes = 14;
constexpr int64_t MaxSidePx = 32767;

uint32_t U16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
int32_t S32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }
int32_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }

// Walks run-length data of Width x Height pixels (BitsPerPixel 4 or 8) and insists that every pixel is
// written exactly once, row by row: the decoder leaves skipped pixels unset.
const char* RunLengthFault(const uint8_t* Data, std::size_t Size, int64_t Width, int64_t Height,
                           int BitsPerPixel) {
    std::size_t at = 0;
    int64_t x = 0;
    int64_t y = 0;
    while (true) {
        if (Size - at < 2) return "run-length data ends before the end of the bitmap";
        const uint32_t count = Data[at];
        const uint32_t value = Data[at + 1];
        at += 2;
        if (count > 0) {  // a run of count pixels
            if (y >= Height || x + count > Width) return "run-length run overruns a row";
            x += count;
            continue;
        }
        if (value == 0) {  // end of line
            if (x != Width || y >= Height) return "run-length line ends early";
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            if (!(y == Height && x == 0) && !(y == Height - 1 && x == Width))
                return "run-length bitmap ends early";
            return nullptr;
        } else if (value == 2) {
            return "run-length delta leaves pixels unset";
        } else {  // an absolute run of value pixels, padded to a whole 16-bit word
            if (y >= Height || x + value > Width) return "run-length run overruns a row";
            const std::size_t bytes = BitsPerPixel == 8 ? value : (value + 1) / 2;
            const std::size_t padded = (bytes + 1) / 2 * 2;
            if (Size - at < padded) return "run-length data ends inside an absolute run";
            at += padded;
            x += value;
        }
    }
}

}  // namespace

const char* BitmapFileFault(const uint8_t* Data, std::size_t Size) {
    if (Size < FileHeaderBytes + 4) return "file shorter than its headers";
    if (Data[0] != 'B' || Data[1] != 'M') return "no BM signature";
    const uint32_t fileSize = U32(Data + 2);
    const uint32_t pixelOffset = U32(Data + 10);
    const uint32_t infoSize = U32(Data + 14);
    if (infoSize != 12 && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return "unknown info header size";
    const std::size_t headersEnd = FileHeaderBytes + infoSize;
    if (fileSize > Size) return "file shorter than its file size field";
    if (fileSize < headersEnd) return "file size field smaller than the headers";

    const uint8_t* info = Data + FileHeaderBytes;
    const bool core = infoSize == 12;
    const int64_t width = core ? S16(info + 4) : S32(info + 4);
    const int64_t signedHeight = core ? S16(info + 6) : S32(info + 8);
    const uint32_t planes = U16(info + (core ? 8 : 12));
    const uint32_t bits = U16(info + (core ? 10 : 14));
    const uint32_t compression = core ? 0 : U32(info + 16);
    const uint32_t imageSize = core ? 0 : U32(info + 20);
    const uint32_t coloursUsed = core ? 0 : U32(info + 32);

    if (width <= 0 || signedHeight == 0) return "zero or negative size";
    const int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    if (width > MaxSidePx || height > MaxSidePx) return "size too large";
    if (planes != 1) return "planes not 1";
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return "bad bit count";
    const bool runLength = compression == 1 || compression == 2;
    switch (compression) {
        case 0: break;
        case 1: if (bits != 8) return "RLE8 without 8 bits"; break;
        case 2: if (bits != 4) return "RLE4 without 4 bits"; break;
        case 3: if (bits != 16 && bits != 32) return "bit fields without 16 or 32 bits"; break;
        default: return "unsupported compression";
    }
    if (runLength && signedHeight < 0) return "run-length bitmap stored top-down";

    // Structures between the info header and the pixels: the three masks of bit fields in a
    // 40-byte header, then the colour table.
    uint64_t tableEnd = headersEnd;
    if (compression == 3 && infoSize == 40) tableEnd += 12;
    if (bits <= 8) {
        const uint64_t maxColours = uint64_t{1} << bits;
        if (coloursUsed > maxColours) return "colour table larger than the bit count allows";
        const uint64_t colours = coloursUsed == 0 ? maxColours : coloursUsed;
        tableEnd += colours * (core ? 3 : 4);
    } else if (coloursUsed > 256) {
        return "colour table too large";
    } else {
        tableEnd += uint64_t{coloursUsed} * 4;
    }
    if (tableEnd > fileSize) return "file shorter than its colour table";
    if (pixelOffset < tableEnd) return "pixel offset inside the headers";
    if (pixelOffset >= fileSize) return "pixel offset past the end";

    const uint64_t available = fileSize - pixelOffset;
    if (uint64_t{imageSize} > available) return "file shorter than its image size field";
    if (runLength) {
        if (imageSize == 0) return "run-length bitmap without image size";
        return RunLengthFault(Data + pixelOffset, imageSize, width, height, static_cast<int>(bits));
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
    if (imageSize != 0 && imageSize < pixelBytes) return "image size field smaller than the pixel rows";
    if (pixelBytes > available) return "file shorter than its pixel rows";
    return nullptr;
}
