// Small PNG pictures written by hand, one pixel per neuron, for the report's
// heat maps and the codebook picture. The image data is compressed only by
// runs of a repeated byte (deflate with its fixed code): enough for flat
// colours and white space, and the encoder stays a few lines of standard C++.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace som {

using rgb = std::array<std::uint8_t, 3>;

// A palette picture: `indices` holds width × height palette entries, row by
// row; the palette has at most 2^bits colours (bits 1, 2, 4 or 8).
std::string encode_png_indexed(std::uint32_t width, std::uint32_t height,
                               const std::vector<std::uint8_t>& indices,
                               const std::vector<rgb>& palette, int bits = 8);

// A true-colour picture: `pixels` holds width × height colours, row by row.
std::string encode_png_rgb(std::uint32_t width, std::uint32_t height,
                           const std::vector<rgb>& pixels);

// Standard base64 with padding.
std::string base64(const std::string& bytes);

}  // namespace som
