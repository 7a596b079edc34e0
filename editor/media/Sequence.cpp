// Image sequence paths and the file names they match.
#include "editor/media/Sequence.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace bw::media {

// A path that names an image sequence ("frames/%05d.png") rather than one file.
bool IsSequencePattern(const std::string& path) {
    const size_t pct = path.find('%');
    if (pct == std::string::npos)
        return false;
    size_t i = pct + 1;
    while (i < path.size() && std::isdigit(static_cast<unsigned char>(path[i])))
        i++;
    return i < path.size() && path[i] == 'd';
}

// One printf-style frame number ("%d", "%05d") and nothing else that printf would expand.
bool HasFramePattern(const std::string& path) {
    int numbers = 0;
    for (size_t i = 0; i < path.size(); i++) {
        if (path[i] != '%')
            continue;
        size_t j = i + 1;
        while (j < path.size() && std::isdigit(static_cast<unsigned char>(path[j])))
            j++;
        if (j < path.size() && path[j] == 'd')
            numbers++;
        else if (j < path.size() && path[j] == '%' && j == i + 1)
            j++;  // "%%" is a literal percent sign
        else
            return false;
        i = j;
    }
    return numbers == 1;
}

bool MatchesSequence(const std::string& pattern, const std::string& fileName, int64_t* number) {
    size_t p = 0, f = 0;
    while (p < pattern.size()) {
        if (pattern[p] != '%') {
            if (f >= fileName.size() || fileName[f] != pattern[p])
                return false;
            p++, f++;
            continue;
        }
        if (p + 1 < pattern.size() && pattern[p + 1] == '%') {  // a literal percent sign
            if (f >= fileName.size() || fileName[f] != '%')
                return false;
            p += 2, f++;
            continue;
        }
        // The number as FFmpeg writes it: "%05d" (and "%5d" alike) gives 00007 and 123456, never 7
        // or 0007.
        const size_t widthAt = ++p;
        while (p < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[p])))
            p++;
        const size_t width = p > widthAt ? size_t(std::atoi(pattern.c_str() + widthAt)) : 0;
        p++;  // the 'd'
        const size_t digits = f;
        while (f < fileName.size() && std::isdigit(static_cast<unsigned char>(fileName[f])) && f - digits < 18)
            f++;
        if (f == digits || (f < fileName.size() && std::isdigit(static_cast<unsigned char>(fileName[f]))))
            return false;
        const int64_t n = std::strtoll(fileName.c_str() + digits, nullptr, 10);
        std::string written = std::to_string(n);
        if (written.size() < width)
            written.insert(0, width - written.size(), '0');
        if (fileName.compare(digits, f - digits, written) != 0)
            return false;
        if (number != nullptr)
            *number = n;
    }
    return f == fileName.size();
}

std::vector<int64_t> SequenceNumbers(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string pattern = p.filename().string();
    std::vector<int64_t> numbers;
    if (!IsSequencePattern(pattern))
        return numbers;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(p.parent_path().empty() ? "." : p.parent_path(), ec))
        if (int64_t number; MatchesSequence(pattern, entry.path().filename().string(), &number))
            numbers.push_back(number);
    return numbers;
}

}  // namespace bw::media
