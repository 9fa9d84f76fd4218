// Pictures: decoding GIF (first frame, with its transparency) and PNG into
// RGBA, and writing GIF from an indexed or an RGBA picture (giflib, libpng).
// Decoders take the file's bytes, so they can be fed anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Rows top-down, four bytes a pixel: red, green, blue, alpha (0 transparent).
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Rows top-down, one palette index a pixel; the palette holds up to 256
// red, green, blue triples.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;
    int transparentIndex = -1;  // -1: none
};

// Pictures larger than this in either direction, or in area, are refused.
constexpr int kPictureMaxSide = 16384;
constexpr int64_t kPictureMaxPixels = int64_t{1} << 24;

// The first image of a GIF on its logical screen; what the image leaves
// uncovered, and its transparent colour, come out transparent.
bool decodeGif(const uint8_t* data, size_t size, RgbaPicture& out);
bool decodePng(const uint8_t* data, size_t size, RgbaPicture& out);
// GIF or PNG, told apart by their signatures.
bool decodePicture(const uint8_t* data, size_t size, RgbaPicture& out);

// Written beside `path` and renamed into place.
bool encodeGif(const std::string& path, const IndexedPicture& picture);
// Pixels with alpha below 128 become transparent. Up to 256 colours (255 with
// transparency) are kept exactly; more are reduced by median cut.
bool encodeGif(const std::string& path, const RgbaPicture& picture);

}  // namespace plat
