#include "load/text_parts.hpp"

namespace itsolv {

std::vector<Part> split_text(const char* begin, const char* end, size_t count) {
  const size_t length = static_cast<size_t>(end - begin);
  std::vector<Part> parts(count);
  const char* bound = begin;
  for (size_t k = 0; k < count; ++k) {
    const char* next = k + 1 == count ? end : begin + length * (k + 1) / count;
    next = token_boundary(begin, std::max(next, bound), end);
    parts[k].begin = bound;
    parts[k].end = next;
    bound = next;
  }
  return parts;
}

}  // namespace itsolv
