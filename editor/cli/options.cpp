#include "editor/cli/options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace bw {
namespace {
// Digits with at most one point and at least one digit: what strtod reads here and nothing more.
bool IsDecimal(const std::string& text) {
    size_t digits = 0, points = 0;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') digits++;
        else if (ch == '.') points++;
        else return false;
    }
    return digits > 0 && points <= 1;
}
}  // namespace

double ParseTime(const std::string& text) {
    double total = 0;
    size_t from = 0;
    for (int part = 0; part < 3; part++) {
        const size_t colon = text.find(':', from);
        const std::string piece = text.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        if (!IsDecimal(piece)) return -1;
        const double value = std::strtod(piece.c_str(), nullptr);
        // Hours and minutes are whole; minutes and seconds after a colon stay under 60.
        if (colon != std::string::npos && value != std::floor(value)) return -1;
        if (part > 0 && value >= 60) return -1;
        total = total * 60 + value;
        if (colon == std::string::npos) return total <= cMaxSeconds ? total : -1;
        from = colon + 1;
    }
    return -1;
}

std::string FormatTime(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    seconds = std::min(seconds, cMaxSeconds);
    // Hundredths first, so that 59.999 s reads 1:00.00 and never 0:60.00.
    const int64_t hundredths = std::llround(seconds * 100);
    const int64_t minutes = hundredths / 6000, rest = hundredths % 6000;
    char text[48];
    if (minutes >= 60)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", (long long)(minutes / 60), (long long)(minutes % 60),
                      (long long)(rest / 100), (long long)(rest % 100));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", (long long)minutes, (long long)(rest / 100),
                      (long long)(rest % 100));
    return text;
}

bool ParseRate(const std::string& text, media::Rational& rate) {
    const size_t slash = text.find('/');
    int64_t num = 0, den = 1;
    if (slash != std::string::npos) {
        long n = 0, d = 0;
        if (!ParseCount(text.substr(0, slash), 1, 1000000000, n) || !ParseCount(text.substr(slash + 1), 1, 1000000000, d))
            return false;
        num = n;
        den = d;
    } else {
        if (!IsDecimal(text)) return false;
        const double v = std::strtod(text.c_str(), nullptr);
        if (v == std::floor(v) && v <= 1e9) {
            num = int64_t(v);
        } else {
            num = std::llround(v * 1000);
            den = 1000;
        }
    }
    // From 1/100 to 240 frames a second, compared in whole numbers.
    if (num * 100 < den || num > int64_t(cMaxFrameRate) * den) return false;
    const int64_t g = std::gcd(num, den);
    rate = {int(num / g), int(den / g)};
    return true;
}

bool ParseList(const std::string& text, char separator, std::vector<std::string>& items) {
    std::vector<std::string> found;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        found.push_back(text.substr(from, at - from));
    found.push_back(text.substr(from));
    if (std::any_of(found.begin(), found.end(), [](const std::string& item) { return item.empty(); })) return false;
    items = std::move(found);
    return true;
}

bool ParseCount(const std::string& text, long lo, long hi, long& value) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

bool ParseFraction(const std::string& text, double lo, double hi, double& value) {
    if (!IsDecimal(text)) return false;
    const double v = std::strtod(text.c_str(), nullptr);
    if (!(v >= lo && v <= hi)) return false;
    value = v;
    return true;
}

bool ParseLength(const std::string& text, Length& length) {
    long frames = 0;
    if (ParseCount(text, 1, cMaxTransitionFrames, frames)) {
        length = {int32_t(frames), -1};
        return true;
    }
    double seconds = -1;
    if (!text.empty() && text.back() == 's') seconds = ParseTime(text.substr(0, text.size() - 1));
    else if (text.find(':') != std::string::npos) seconds = ParseTime(text);
    if (!(seconds > 0)) return false;
    length = {0, seconds};
    return true;
}

int32_t LengthFrames(const Length& length, media::Rational rate) {
    if (length.Seconds < 0) return std::clamp(length.Frames, 1, cMaxTransitionFrames);
    const double frames = std::round(length.Seconds * rate.ToDouble());
    return int32_t(std::clamp(frames, 1.0, double(cMaxTransitionFrames)));
}

}  // namespace bw
