#include "editor/cli/suggest.h"

#include <algorithm>

namespace bw::cli {

size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string Nearest(const std::string& word, const std::vector<std::string>& names) {
    std::string best;
    size_t bestDistance = 3;
    for (const std::string& name : names) {
        const size_t d = Distance(word, name);
        if (d < bestDistance || (name.size() > 2 && word.size() > 2 && name.rfind(word, 0) == 0 && bestDistance > 1)) {
            best = name;
            bestDistance = std::min(d, size_t(1));
        }
    }
    return best;
}

}  // namespace bw::cli
