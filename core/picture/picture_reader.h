// The picture file readers behind CDIB::ReadFrom and their shared helpers.
//
// Each reader takes an image that has been constructed and a file opened for reading, positions
// the file at its start and fills the image as the file stores it (8, 16, 24 or 32 bits per
// pixel). Every count taken from the file is bounded by the buffer it fills: a reader never
// writes outside the image's pixel block or its own buffers, whatever the bytes say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/picture/cdib.h"

namespace kv {

class DiskFile;

enum ImageReadResult : int32_t {
    ReadOk = 0,
    ReadCompressed = 1,     // a compression the reader does not handle
    ReadTooLarge = 2,       // a side above 65535
    ReadUnreadable = 3,     // not a recognisable or readable file
    ReadNoImage = 4,        // the image was empty before reading
    ReadTooFewColours = 5,  // fewer than 8 bits per pixel
    ReadNoMemory = 6,       // the image or a buffer could not be allocated
};

enum class PictureReader { Photoshop, Tiff, Bmp, Gdiplus, Targa, Heif, Webp };

// Chooses the reader from the first bytes of the file (`count` of them, up to 14) and its path.
// The JPEG/PNG decoder is chosen only when `hasJpegDecoder` is set.
PictureReader ChoosePictureReader(const uint8_t* head, int count, const char* path,
                                  bool hasJpegDecoder);

ImageReadResult ReadBmp(CDIB& image, DiskFile& file);
ImageReadResult ReadTarga(CDIB& image, DiskFile& file);
ImageReadResult ReadTiff(CDIB& image, DiskFile& file);
ImageReadResult ReadPhotoshop(CDIB& image, DiskFile& file);
// JPEG and PNG through the platform decoders; the file's path names the picture.
ImageReadResult ReadGdiplus(CDIB& image, DiskFile& file);

// The largest side a picture may have, asked by every reader before it creates the image.
int MaxPictureSide();
// Whether a picture of this size and depth may be loaded: ReadOk, ReadTooLarge (a side above
// MaxPictureSide) or ReadUnreadable (no pixels). The readers over the further decoders ask it
// with the size the file claims, before anything the size of the picture is allocated.
ImageReadResult PictureSizeCheck(int width, int height, int bitCount);

// TIFF: the own reader for the uncompressed 8-bit grey and RGB files it reads as they are, libtiff
// (when the build has it) for every other; then the file's orientation and profile.
ImageReadResult ReadTiffPicture(CDIB& image, DiskFile& file);
// HEIC and AVIF, and WebP, through the platform's decoders.
ImageReadResult ReadHeif(CDIB& image, DiskFile& file);
ImageReadResult ReadWebp(CDIB& image, DiskFile& file);
// JPEG and PNG through ReadGdiplus, then a JPEG's orientation and profile, or a PNG's profile.
ImageReadResult ReadJpegPicture(CDIB& image, DiskFile& file);

// Turns a read image upright for an EXIF orientation (1..8; others leave it alone). False when
// the turned image cannot be allocated (the image is then unchanged). The quarter turns (5..8)
// take a second image for the moment; the readers over decoders turn those while decoding
// (RowTurner) instead.
bool ApplyOrientation(CDIB& image, int orientation);

// Whether an EXIF orientation turns the picture a quarter (its sides exchange).
inline bool QuarterTurn(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// Writes the rows of a picture being decoded straight into their columns of the upright image,
// for the quarter turns, so that the picture is held once. A band of stored rows is kept and
// written out when the decoder moves past it (or at Finish); a decoder may come back to a row
// (tiles, planes) and finds it as it left it.
class RowTurner {
public:
    // `upright` is already made, `storedHeight` x `storedWidth` pixels of `bytes` bytes.
    RowTurner(CDIB& upright, int orientation, int storedWidth, int storedHeight, int bytes);
    // False when the band could not be allocated.
    bool Ready() const { return !m_band.empty(); }
    // Keeps `rows` stored rows at once (a tile's height) when that fits a sensible buffer; only
    // before the first row is asked for.
    void KeepRows(int rows);
    // Where stored row y (from the top) is to be written; null outside the picture.
    uint8_t* Row(int y);
    // Writes out the rows still held.
    void Finish();

private:
    void Flush();
    void Load(int first);
    CDIB& m_image;
    int m_orientation, m_w, m_h, m_bytes;
    size_t m_rowBytes;
    int m_bandRows = 32;
    int m_first = -1;  // first stored row in the band, -1 when none
    std::vector<uint8_t> m_band;
    std::vector<bool> m_written;  // bands written out at least once, by band number
};

// JPEG and PNG through the platform decoders, the picture turned upright while decoding when
// `orientation` is a quarter turn.
ImageReadResult ReadGdiplusTurned(CDIB& image, DiskFile& file, int orientation);
// Converts a 24- or 32-bit image from the colours of an ICC profile to sRGB; an empty, broken or
// non-RGB profile, or another depth, leaves it as it is. A profile that would need more memory
// than a profile may take also leaves it, with a warning naming `path`.
void ApplyColourProfile(CDIB& image, const std::vector<uint8_t>& profile,
                        const char* path = nullptr);

// The fixed message Load shows for a result code, and whether the code is appended to it.
// Returns null for ReadOk.
const char* ImageReadMessage(int32_t code, bool* appendCode);

// The most bytes one picture's pixels may take: the limit the program set in megabytes when it
// is above 0, else half the machine's memory and at most 8 GiB. Pictures beyond it are refused
// as NoMemory before anything is allocated for them.
uint64_t PictureMemoryLimit();
// The program's limit, from its own settings ("PictureMemoryLimit"); 0 or less: the default.
// Process-wide, as every picture of the process shares the machine's memory; may be set from
// any thread.
void SetPictureMemoryLimit(int32_t megabytes);
bool PictureFitsInMemory(int width, int height, int bitCount);

// Short files of pictures within OldMaxImageSide load what they hold (the rest stays black),
// as they always did; a bigger picture from a file of plain rows must hold all its `bytes`
// from offset `at` on, so that a header alone never makes the image it claims.
bool FileHoldsPixels(DiskFile& file, int width, int height, int64_t at, int64_t bytes);

// Creates the image for a picture being read and clears it: black pixels and, for 8 bits, the
// grey ramp; false (without allocating) when the picture is above PictureMemoryLimit. Create
// alone keeps the old contents when the size and depth are unchanged, which
// would show the previous picture through whatever part of a short file is missing.
bool CreateForReading(CDIB& image, int width, int height, int bitCount);

// Exchanges row i with row height - 1 - i.
void FlipVertical(CDIB& image);
// Exchanges bytes 0 and 2 of every pixel of a 24- or 32-bit image; other depths are left alone.
void SwapRedBlue(CDIB& image);

// Decodes one PackBits row from `src` (srcLen bytes) into `dst` (dstLen bytes). Stops when the
// source runs out or the row is full; never reads or writes outside either buffer. Returns the
// number of bytes written.
size_t UnpackBitsRow(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen);

// Reads exactly `count` bytes at `offset`; false on a failed seek or a short read.
bool ReadAt(DiskFile& file, int64_t offset, void* buffer, int32_t count);

}  // namespace kv
