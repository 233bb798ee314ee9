#include "support/page_reading.hpp"

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

std::uint32_t crc_of(const std::string& s, std::size_t from, std::size_t length) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < from + length; ++i) {
    c ^= static_cast<unsigned char>(s[i]);
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

decoded_png decode_png(const std::string& png) {
  decoded_png out;
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
  std::string idat;
  for (std::size_t pos = 8; pos + 12 <= png.size();) {
    const std::uint32_t length = be32(png, pos);
    const std::string type = png.substr(pos + 4, 4);
    EXPECT_EQ(crc_of(png, pos + 4, length + 4), be32(png, pos + 8 + length)) << type;
    const std::string body = png.substr(pos + 8, length);
    if (type == "IHDR") {
      out.width = be32(body, 0);
      out.height = be32(body, 4);
      out.colour_type = body[9];
    } else if (type == "PLTE") {
      out.palette_entries = length / 3;
    } else if (type == "IDAT") {
      idat += body;
    }
    pos += 12 + length;
  }
  std::string raw;
  std::size_t pos = 2;
  for (bool last = false; !last;) {
    last = (idat[pos] & 1) != 0;
    EXPECT_EQ(idat[pos] & 6, 0);  // stored
    const std::size_t length = static_cast<unsigned char>(idat[pos + 1]) |
                               static_cast<std::size_t>(static_cast<unsigned char>(idat[pos + 2]))
                                   << 8;
    raw += idat.substr(pos + 5, length);
    pos += 5 + length;
  }
  std::uint32_t a = 1, b = 0;
  for (char c : raw) {
    a = (a + static_cast<unsigned char>(c)) % 65521u;
    b = (b + a) % 65521u;
  }
  EXPECT_EQ(be32(idat, pos), (b << 16) | a);
  const std::size_t bytes = out.colour_type == 2 ? 3 : 1;
  const std::size_t stride = out.width * bytes + 1;
  EXPECT_EQ(raw.size(), stride * out.height);
  for (std::size_t y = 0; y < out.height && (y + 1) * stride <= raw.size(); ++y) {
    EXPECT_EQ(raw[y * stride], '\0');
    out.rows.push_back(raw.substr(y * stride + 1, stride - 1));
  }
  return out;
}

std::vector<decoded_png> page_pictures(const std::string& page) {
  std::vector<decoded_png> out;
  const std::string marker = "href=\"data:image/png;base64,";
  for (std::size_t at = page.find(marker); at != std::string::npos;
       at = page.find(marker, at + 1)) {
    const std::size_t begin = at + marker.size();
    out.push_back(decode_png(base64_decode(page.substr(begin, page.find('"', begin) - begin))));
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

}  // namespace som_test
