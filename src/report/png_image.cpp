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

// Bits into bytes, least significant first, as deflate packs them.
struct bit_writer {
  std::string& out;
  std::uint32_t buffer = 0;
  int filled = 0;
  void put(std::uint32_t bits, int count) {
    buffer |= bits << filled;
    filled += count;
    while (filled >= 8) {
      out += static_cast<char>(buffer & 0xFFu);
      buffer >>= 8;
      filled -= 8;
    }
  }
  // A Huffman code goes out from its most significant bit.
  void put_code(std::uint32_t code, int length) {
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((code >> i) & 1u) << (length - 1 - i);
    put(reversed, length);
  }
  void flush() {
    if (filled > 0) put(0, 8 - filled);
  }
};

// A literal/length symbol of deflate's fixed code.
void put_symbol(bit_writer& bits, std::uint32_t symbol) {
  if (symbol < 144) {
    bits.put_code(0x30 + symbol, 8);
  } else if (symbol < 256) {
    bits.put_code(0x190 + symbol - 144, 9);
  } else if (symbol < 280) {
    bits.put_code(symbol - 256, 7);
  } else {
    bits.put_code(0xC0 + symbol - 280, 8);
  }
}

// A copy of the previous byte, `length` (3 to 258) times: the length's
// symbol and extra bits, then distance 1 (code 0, no extra bits).
void put_repeat(bit_writer& bits, std::uint32_t length) {
  static constexpr std::uint16_t base[] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,
                                           15, 17, 19, 23, 27, 31, 35, 43,  51,  59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
  static constexpr std::uint8_t extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  int code = 28;
  while (base[code] > length) --code;
  put_symbol(bits, 257 + static_cast<std::uint32_t>(code));
  if (extra[code] != 0) bits.put(length - base[code], extra[code]);
  bits.put_code(0, 5);
}

// A zlib stream of one deflate block with the fixed code, whose only
// matches are runs of one repeated byte: the pictures are flat colours and
// white space, and the encoder stays a few lines of standard C++.
std::string zlib_runs(const std::string& raw) {
  std::string out = "\x78\x01";
  bit_writer bits{out};
  bits.put(1, 1);  // the last block
  bits.put(1, 2);  // fixed Huffman codes
  for (std::size_t i = 0; i < raw.size();) {
    const char c = raw[i];
    put_symbol(bits, static_cast<unsigned char>(c));
    std::size_t run = 0;
    while (i + 1 + run < raw.size() && raw[i + 1 + run] == c) ++run;
    i += 1;
    while (run >= 3) {
      const std::size_t length = run < 258 ? run : 258;
      put_repeat(bits, static_cast<std::uint32_t>(length));
      run -= length;
      i += length;
    }
  }
  put_symbol(bits, 256);  // end of block
  bits.flush();
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
                       int bits, const std::string& palette, const std::string& raw) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  put_u32_be(header, width);
  put_u32_be(header, height);
  header += static_cast<char>(bits);  // per sample
  header += static_cast<char>(colour_type);
  header += std::string(3, '\0');  // deflate, adaptive filters, no interlace
  put_chunk(png, "IHDR", header);
  if (!palette.empty()) put_chunk(png, "PLTE", palette);
  put_chunk(png, "IDAT", zlib_runs(raw));
  put_chunk(png, "IEND", std::string());
  return png;
}

}  // namespace

std::string encode_png_indexed(std::uint32_t width, std::uint32_t height,
                               const std::vector<std::uint8_t>& indices,
                               const std::vector<rgb>& palette, int bits) {
  std::string plte;
  for (const rgb& c : palette) plte.append(reinterpret_cast<const char*>(c.data()), 3);
  std::string raw;
  const std::size_t stride = (std::size_t{width} * static_cast<std::size_t>(bits) + 7) / 8;
  raw.reserve((stride + 1) * height);
  for (std::size_t y = 0; y < height; ++y) {
    raw += '\0';  // filter: none
    const std::uint8_t* row = indices.data() + y * width;
    if (bits == 8) {
      raw.append(reinterpret_cast<const char*>(row), width);
      continue;
    }
    // Several pixels to a byte, the first in the highest bits.
    std::string packed(stride, '\0');
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t bit = x * static_cast<std::size_t>(bits);
      packed[bit / 8] = static_cast<char>(static_cast<unsigned char>(packed[bit / 8]) |
                                          (row[x] << (8 - bits - static_cast<int>(bit % 8))));
    }
    raw += packed;
  }
  return encode_png(width, height, 3, bits, plte, raw);
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
  return encode_png(width, height, 2, 8, std::string(), raw);
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
