// Random corruptions of problem texts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/draws.hpp"
#include "support/literal_solver.hpp"

namespace testing_support {

class Mutator : public Draws {
 public:
  using Draws::Draws;

  // Applies one to three random corruptions.
  std::string corrupt(std::string text) {
    for (int k = uniform(1, 3); k > 0; --k) text = once(std::move(text));
    return text;
  }

 private:
  std::string junk() {
    static const std::string kBytes =
        std::string("0123456789.eE+-xXpPabcfinINFNA \t\n\r\v\f,;#") + std::string("\0\xff\x80\xa0\x1c", 5);
    std::string out;
    for (int i = uniform(1, 4); i > 0; --i) out += pick(std::vector<char>(kBytes.begin(), kBytes.end()));
    return out;
  }

  std::string once(std::string text) {
    const std::vector<literal::Token> tokens = literal::token_spans(text);
    auto any_token = [&]() { return pick(tokens); };
    const int op = uniform(0, 9);
    if (text.empty()) return junk();
    const size_t pos = static_cast<size_t>(uniform(0, static_cast<int>(text.size()) - 1));
    // A byte replaced by any byte, one bit flipped, the end cut off, junk
    // inserted, a byte erased.
    const std::function<void()> byte_edits[] = {
        [&] { text[pos] = static_cast<char>(uniform(0, 255)); },
        [&] { text[pos] = static_cast<char>(text[pos] ^ (1 << uniform(0, 7))); }, [&] { text.resize(pos); },
        [&] { text.insert(pos, junk()); }, [&] { text.erase(pos, 1); }};
    if (op < 5) {
      byte_edits[op]();
      return text;
    }
    if (tokens.empty()) return text + junk();
    const literal::Token t = any_token();
    const std::string token = text.substr(t.begin, t.end - t.begin);
    // A token duplicated, erased, replaced by a notable one, swapped with
    // another, or its first digit changed.
    const std::function<void()> token_edits[] = {
        [&] { text.insert(t.end, " " + token); }, [&] { text.erase(t.begin, t.end - t.begin); },
        [&] {
          text.replace(t.begin, t.end - t.begin,
                       pick<std::string>({"nan",    "inf",          "-inf",        "-0",    "1e40",       "1e-45",
                                          "0x1p3",  "abc",          "99999999999", "-1",    "2147483648", "0",
                                          "1.5.2",  "37x",          "+",           "-",     ".",          "1e",
                                          "0x",     "2.5",          "1e3",         "+7",    "0007",       "-nan",
                                          "NAN(x)", "3.4028236e38", "2e",          "0x1p+", "0x."}));
        },
        [&] {
          const literal::Token u = any_token();
          if (u.begin == t.begin) return;
          const literal::Token first = u.begin < t.begin ? u : t, second = u.begin < t.begin ? t : u;
          const std::string a = text.substr(first.begin, first.end - first.begin);
          const std::string b = text.substr(second.begin, second.end - second.begin);
          text.replace(second.begin, b.size(), a);
          text.replace(first.begin, a.size(), b);
        },
        [&] {
          const size_t digit = text.find_first_of("0123456789", t.begin);
          if (digit < t.end) text[digit] = static_cast<char>('0' + uniform(0, 9));
        }};
    token_edits[op - 5]();
    return text;
  }
};

}  // namespace testing_support
