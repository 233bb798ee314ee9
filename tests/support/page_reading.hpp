// Reading a report page back: its pictures, decoded, and whether its tags
// are closed in order.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace som_test {

struct decoded_png {
  std::uint32_t width = 0, height = 0;
  int colour_type = -1;
  int bit_depth = 8;
  std::size_t palette_entries = 0;
  // Each row's pixel bytes (below 8 bits a pixel, one byte per pixel); empty
  // where png_pixels_decoded is false.
  std::vector<std::string> rows;
};

// Reads a PNG: its chunks and header fields; with zlib also every chunk's
// CRC and the pixels, inflated with the zlib checksum checked. Every row
// must have filter 0 (none), as the report writes them.
decoded_png decode_png(const std::string& png);

// Whether decode_png inflates the pixels: only where zlib was found when the
// tests were configured (they alone use it; the programs write their
// pictures without it).
extern const bool png_pixels_decoded;

// In a test, before it reads pixels: without zlib, skips the rest of the
// test, saying why.
#define SOM_SKIP_UNLESS_PNG_PIXELS_DECODED()                                          \
  if (!::som_test::png_pixels_decoded)                                                \
  GTEST_SKIP() << "zlib was not found when the tests were configured: the pixels of " \
                  "the pictures are not checked"

// The inline PNGs of the page's <img> elements of class `cls`, in page
// order: by default the map pictures, one pixel per neuron; "codebook" for
// the picture of the neurons' weights.
std::vector<decoded_png> page_pictures(const std::string& page, const std::string& cls = "cells");

// The page with each SVG picture put in as an <img> (the curves, the data
// space) replaced by the SVG its address holds, decoded: for reading the
// pictures' elements and text as those of the page.
std::string with_svg_pictures_inline(const std::string& page);

// Checks that every tag is closed in order (void elements written as "<x/>").
::testing::AssertionResult tags_balanced(const std::string& page);

// The text between `before` and the next `after`, from the first `before`
// on; empty when there is none.
std::string text_between(const std::string& page, const std::string& before,
                         const std::string& after);

// The temporary files of report.html in the folder: none is left by a
// report, whatever it came to.
std::vector<std::string> page_leftovers(const std::filesystem::path& folder);

}  // namespace som_test
