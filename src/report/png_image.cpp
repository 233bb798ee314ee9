#include "report/png_image.hpp"

#include <cstddef>

namespace som {

namespace {

std::uint32_t crc32(const std::string& bytes, std::size_t from) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xFFu] ^ (c >> 8);
  }
  return c ^ 0xFFFFFFFFu;
}

void put_u32_be(std::string& out, std::uint32_t v) {
  out += static_cast<char>((v >> 24) & 0xFFu);
  out += static_cast<char>((v >> 16) & 0xFFu);
  out += static_cast<char>((v >> 8) & 0xFFu);
  out += static_cast<char>(v & 0xFFu);
}

void put_chunk(std::string& png, const char* type, const std::string& data) {
  put_u32_be(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png += type;
  png += data;
  put_u32_be(png, crc32(png, start));
}

// A zlib stream of stored deflate blocks.
std::string zlib_stored(const std::string& raw) {
  std::string out = "\x78\x01";
  std::size_t pos = 0;
  do {
    const std::size_t length = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
    const bool last = pos + length == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(length & 0xFFu);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(~length & 0xFFu);
    out += static_cast<char>((~length >> 8) & 0xFFu);
    out.append(raw, pos, length);
    pos += length;
  } while (pos < raw.size());
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (char c : raw) {
    a = (a + static_cast<unsigned char>(c)) % 65521u;
    b = (b + a) % 65521u;
  }
  put_u32_be(out, (b << 16) | a);
  return out;
}

std::string encode_png(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
                       const std::string& palette, const std::string& raw) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  put_u32_be(header, width);
  put_u32_be(header, height);
  header += static_cast<char>(8);  // bits per sample
  header += static_cast<char>(colour_type);
  header += std::string(3, '\0');  // deflate, adaptive filters, no interlace
  put_chunk(png, "IHDR", header);
  if (!palette.empty()) put_chunk(png, "PLTE", palette);
  put_chunk(png, "IDAT", zlib_stored(raw));
  put_chunk(png, "IEND", std::string());
  return png;
}

}  // namespace

std::string encode_png_indexed(std::uint32_t width, std::uint32_t height,
                               const std::vector<std::uint8_t>& indices,
                               const std::vector<rgb>& palette) {
  std::string plte;
  for (const rgb& c : palette) plte.append(reinterpret_cast<const char*>(c.data()), 3);
  std::string raw;
  raw.reserve((std::size_t{width} + 1) * height);
  for (std::size_t y = 0; y < height; ++y) {
    raw += '\0';  // filter: none
    raw.append(reinterpret_cast<const char*>(indices.data() + y * width), width);
  }
  return encode_png(width, height, 3, plte, raw);
}

std::string encode_png_rgb(std::uint32_t width, std::uint32_t height,
                           const std::vector<rgb>& pixels) {
  std::string raw;
  raw.reserve((std::size_t{width} * 3 + 1) * height);
  for (std::size_t y = 0; y < height; ++y) {
    raw += '\0';
    for (std::size_t x = 0; x < width; ++x) {
      raw.append(reinterpret_cast<const char*>(pixels[y * width + x].data()), 3);
    }
  }
  return encode_png(width, height, 2, std::string(), raw);
}

std::string base64(const std::string& bytes) {
  static constexpr char digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = (std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16) |
                            (std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8) |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += digits[(v >> 18) & 63u];
    out += digits[(v >> 12) & 63u];
    out += digits[(v >> 6) & 63u];
    out += digits[v & 63u];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest != 0) {
    std::uint32_t v = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
    if (rest == 2) v |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
    out += digits[(v >> 18) & 63u];
    out += digits[(v >> 12) & 63u];
    out += rest == 2 ? digits[(v >> 6) & 63u] : '=';
    out += '=';
  }
  return out;
}

}  // namespace som
