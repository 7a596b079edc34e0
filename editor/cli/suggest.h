// What a mistyped command or option most likely meant.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace bw::cli {

// The edit distance (insertions, deletions, substitutions) from a to b.
size_t Distance(const std::string& a, const std::string& b);
// The nearest of `names` to a mistyped word, when it is near enough to be meant (fewer than three
// edits, or a word of three letters or more that begins it); "" otherwise.
std::string Nearest(const std::string& word, const std::vector<std::string>& names);

}  // namespace bw::cli
