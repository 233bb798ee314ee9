// Sources of bytes for the parsers' tests: text handed out a few bytes at a
// time (so that every token at some point straddles a refill of the
// reader's buffer), and a read error after a given number of bytes.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "common/byte_reader.hpp"

namespace som_test {

class piecewise_source {
 public:
  // Hands out `text` at most `piece` bytes per read; after `fail_after`
  // bytes every read fails (returns 0, as a read error does).
  piecewise_source(std::string_view text, std::size_t piece,
                   std::size_t fail_after = std::string_view::npos)
      : text_(text), piece_(piece), fail_after_(fail_after) {}

  som::byte_source source() {
    som::byte_source s;
    s.context = this;
    s.read = [](void* context, char* into, std::size_t size) {
      auto& self = *static_cast<piecewise_source*>(context);
      std::size_t n = self.text_.size() - self.at_;
      if (n > self.piece_) n = self.piece_;
      if (n > size) n = size;
      if (self.fail_after_ != std::string_view::npos && self.at_ + n > self.fail_after_) {
        n = self.at_ < self.fail_after_ ? self.fail_after_ - self.at_ : 0;
      }
      if (n != 0) std::memcpy(into, self.text_.data() + self.at_, n);
      self.at_ += n;
      return n;
    };
    return s;
  }

 private:
  std::string_view text_;
  std::size_t piece_;
  std::size_t fail_after_;
  std::size_t at_ = 0;
};

}  // namespace som_test
