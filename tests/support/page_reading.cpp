#include "support/page_reading.hpp"

#include "common/output_file.hpp"
#include "report/report_html.hpp"

#ifdef SOM_TEST_ZLIB
#include <zlib.h>
#endif

namespace som_test {

namespace {

std::string base64_decode(const std::string& text) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else break;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFFu);
    }
  }
  return out;
}

std::uint32_t be32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

#ifdef SOM_TEST_ZLIB
const Bytef* bytes_of(const std::string& s, std::size_t at = 0) {
  return reinterpret_cast<const Bytef*>(s.data() + at);
}
#endif

}  // namespace

#ifdef SOM_TEST_ZLIB
const bool png_pixels_decoded = true;
#else
const bool png_pixels_decoded = false;
#endif

decoded_png decode_png(const std::string& png) {
  decoded_png out;
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
  std::string idat;
  for (std::size_t pos = 8; pos + 12 <= png.size();) {
    const std::uint32_t length = be32(png, pos);
    const std::string type = png.substr(pos + 4, 4);
    if (length > png.size() - pos - 12) {
      ADD_FAILURE() << "chunk " << type << " runs past the end of the picture";
      break;
    }
#ifdef SOM_TEST_ZLIB
    EXPECT_EQ(crc32(0, bytes_of(png, pos + 4), length + 4), be32(png, pos + 8 + length)) << type;
#endif
    const std::string body = png.substr(pos + 8, length);
    if (type == "IHDR") {
      out.width = be32(body, 0);
      out.height = be32(body, 4);
      out.bit_depth = body[8];
      out.colour_type = body[9];
    } else if (type == "PLTE") {
      out.palette_entries = length / 3;
    } else if (type == "IDAT") {
      idat += body;
    }
    pos += 12 + length;
  }
#ifdef SOM_TEST_ZLIB
  const std::size_t bits = std::size_t{out.width} * (out.colour_type == 2 ? 3 : 1) *
                           static_cast<std::size_t>(out.bit_depth);
  const std::size_t stride = (bits + 7) / 8 + 1;
  // A byte more than the picture needs: data that inflates to more is found.
  std::string raw(stride * out.height + 1, '\0');
  uLongf size = static_cast<uLongf>(raw.size());
  const int inflated = uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, bytes_of(idat),
                                  static_cast<uLong>(idat.size()));
  EXPECT_EQ(inflated, Z_OK) << "the pixels do not inflate to the picture's size: "
                            << zError(inflated);
  raw.resize(inflated == Z_OK ? size : 0);
  EXPECT_EQ(raw.size(), stride * out.height);
  for (std::size_t y = 0; y < out.height && (y + 1) * stride <= raw.size(); ++y) {
    EXPECT_EQ(raw[y * stride], '\0') << "row " << y << " is filtered";
    std::string row = raw.substr(y * stride + 1, stride - 1);
    if (out.bit_depth < 8) {
      // One byte per pixel, for the tests to read alike at any depth.
      std::string unpacked;
      const int depth = out.bit_depth;
      for (std::size_t x = 0; x < out.width; ++x) {
        const std::size_t bit = x * static_cast<std::size_t>(depth);
        const auto byte = static_cast<unsigned char>(row[bit / 8]);
        unpacked += static_cast<char>((byte >> (8 - depth - bit % 8)) & ((1u << depth) - 1u));
      }
      row = unpacked;
    }
    out.rows.push_back(row);
  }
#endif
  return out;
}

std::vector<decoded_png> page_pictures(const std::string& page, const std::string& cls) {
  std::vector<decoded_png> out;
  const std::string marker = "src=\"data:image/png;base64,";
  for (std::size_t at = page.find(marker); at != std::string::npos;
       at = page.find(marker, at + 1)) {
    const std::size_t tag = page.rfind("<img ", at);
    if (tag == std::string::npos || page.find("class=\"" + cls + "\"", tag) >= at) continue;
    const std::size_t begin = at + marker.size();
    out.push_back(decode_png(base64_decode(page.substr(begin, page.find('"', begin) - begin))));
  }
  return out;
}

std::string with_svg_pictures_inline(const std::string& page) {
  const std::string marker = "src=\"data:image/svg+xml,";
  std::string out = page;
  for (std::size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at)) {
    const std::size_t tag = out.rfind("<img ", at);
    const std::size_t begin = at + marker.size();
    const std::size_t end = out.find('"', begin);
    if (tag == std::string::npos || end == std::string::npos || out.compare(end, 3, "\"/>") != 0) {
      ADD_FAILURE() << "an SVG picture's <img> is not whole at " << at;
      break;
    }
    std::string svg;
    for (std::size_t i = begin; i < end; ++i) {
      if (out[i] == '%' && i + 2 < end) {
        svg += static_cast<char>(std::stoi(out.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        svg += out[i];
      }
    }
    out.replace(tag, end + 3 - tag, svg);
    at = tag + svg.size();
  }
  return out;
}

::testing::AssertionResult tags_balanced(const std::string& page) {
  std::vector<std::string> open;
  for (std::size_t at = page.find('<'); at != std::string::npos; at = page.find('<', at + 1)) {
    const std::size_t end = page.find('>', at);
    if (end == std::string::npos) return ::testing::AssertionFailure() << "unclosed '<' at " << at;
    const std::string tag = page.substr(at + 1, end - at - 1);
    if (tag.empty()) return ::testing::AssertionFailure() << "empty tag at " << at;
    if (tag[0] == '!') continue;
    if (tag.find('<') != std::string::npos)
      return ::testing::AssertionFailure() << "'<' inside a tag at " << at;
    if (tag.back() == '/') continue;
    if (tag[0] == '/') {
      const std::string name = tag.substr(1);
      if (open.empty() || open.back() != name) {
        return ::testing::AssertionFailure() << "</" << name << "> closes <"
                                             << (open.empty() ? "" : open.back()) << "> at " << at;
      }
      open.pop_back();
    } else {
      open.push_back(tag.substr(0, tag.find_first_of(" \t\n")));
    }
  }
  if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
  return ::testing::AssertionSuccess();
}

std::string text_between(const std::string& page, const std::string& before,
                         const std::string& after) {
  const std::size_t at = page.find(before);
  if (at == std::string::npos) return std::string();
  const std::size_t begin = at + before.size();
  const std::size_t end = page.find(after, begin);
  return end == std::string::npos ? std::string() : page.substr(begin, end - begin);
}

std::vector<std::string> page_leftovers(const std::filesystem::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (som::is_private_temp_name(name, som::report_file_name) || name == "report.html.tmp")
      found.push_back(name);
  }
  return found;
}

}  // namespace som_test
