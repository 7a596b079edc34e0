#include "editor/cli/ffmpegoptions.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>

#include "editor/cli/options.h"

namespace bw::cli {

const char* const cFfmpegOptions =
    "-ss, -t, -to, -framerate, -c:v, -crf, -preset, -b:v, -pix_fmt, -r, -an, -c:a, "
    "-b:a, -ar, -ac and -f";

namespace {
// What a refused frame rate is told, after the option's name.
std::string RateError(const std::string& value) {
    return "must be a frame rate from 1/100 to 240 such as 25, 29.97 or 30000/1001, not '" + value + "'";
}
}  // namespace

std::string TakeOutputOption(const std::string& name, const std::string& value, RenderOptions& o) {
    auto number = [&](long lo, long hi, long& out) {
        char* end = nullptr;
        out = std::strtol(value.c_str(), &end, 10);
        return !value.empty() && !*end && out >= lo && out <= hi;
    };
    auto rate = [&](int64_t& out) {
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        const double unit = *end == 'k' || *end == 'K' ? 1e3 : *end == 'M' ? 1e6
                                                                           : 1;
        if (*end && (end[1] || unit == 1)) return false;
        out = std::llround(v * unit);
        return v > 0 && out >= 1000 && out <= 1000000000;
    };
    long n = 0;
    media::WriterSettings& e = o.encoder;
    if (name == "-f") {
        if (value != "matroska" && value != "yuv4mpegpipe") return "-f must be matroska or yuv4mpegpipe (for -o -)";
        e.StdoutY4m = value == "yuv4mpegpipe";
    } else if ((name == "-c:v" || name == "-vcodec") && value == "copy") {
        return name +
               " copy cannot work here: the transition makes new pictures, so the video is encoded (give an "
               "encoder such as libx264, or leave it out)";
    } else if ((name == "-c:a" || name == "-acodec") && value == "copy") {
        return name +
               " copy cannot work here: the sound is mixed across the transition, so it is encoded (give an "
               "encoder such as aac, or -an for no sound)";
    } else if (name == "-c:v" || name == "-vcodec") e.VideoCodec = value;
    else if (name == "-c:a" || name == "-acodec") e.AudioCodec = value;
    else if (name == "-pix_fmt") e.PixelFormat = value;
    else if (name == "-preset") e.Preset = value;
    else if (name == "-crf") {
        if (!number(0, 63, n)) return "-crf must be 0..63";
        e.Crf = int(n);
    } else if (name == "-b:v") {
        if (!rate(e.VideoBitrate)) return "-b:v must be a bit rate such as 5M or 800k";
    } else if (name == "-b:a") {
        if (!rate(e.AudioBitrate)) return "-b:a must be a bit rate such as 128k";
    } else if (name == "-ar") {
        if (!number(8000, 192000, n)) return "-ar must be a sample rate from 8000 to 192000";
        e.AudioRate = int(n);
    } else if (name == "-ac") {
        if (!number(1, 8, n)) return "-ac must be a channel count from 1 to 8 (2: stereo, 6: 5.1)";
        e.AudioChannels = int(n);
    } else if (name == "-r") {
        if (!ParseRate(value, o.rate)) return "-r " + RateError(value);
    } else {
        return "?";
    }
    return {};
}

std::string TakeTrims(const CLI::App* render, std::vector<std::string>& words, std::vector<Command::Trim>& trims,
                      RenderOptions& options) {
    std::vector<std::string> kept;
    Command::Trim pending;
    double to = -1;
    bool have = false;
    // A clip: the times given since the last one are its own.
    auto clip = [&](const std::string& w) -> std::string {
        if (to >= 0) {
            if (to <= pending.start) return "-to must come after -ss for " + w;
            pending.length = to - pending.start;
        }
        if (pending.length == 0) return "-t must be more than 0 for " + w;
        trims.push_back(pending);
        pending = {};
        to = -1;
        have = false;
        return {};
    };
    for (size_t i = 0; i < words.size(); i++) {
        const std::string& w = words[i];
        if (w == "--") {  // every word after it is a clip, even one starting with '-'
            kept.insert(kept.end(), words.begin() + long(i), words.end());
            for (i++; i < words.size(); i++)
                if (const std::string e = clip(words[i]); !e.empty()) return e;
            break;
        }
        if (w == "-an") {
            options.encoder.Audio = false;
            continue;
        }
        if (w.size() >= 2 && w[0] == '-' && w[1] != '-' && i + 1 < words.size()) {
            if (const std::string e = TakeOutputOption(w, words[i + 1], options); e != "?") {
                if (!e.empty()) return e;
                i++;
                continue;
            }
        }
        if (w == "-framerate") {
            media::Rational rate;
            if (i + 1 >= words.size() || !ParseRate(words[i + 1], rate))
                return "-framerate " + RateError(i + 1 < words.size() ? words[i + 1] : "") + ", before an image sequence";
            pending.framerate = std::to_string(rate.Num) + "/" + std::to_string(rate.Den);
            i++;
            have = true;
            continue;
        }
        if (w == "-ss" || w == "-t" || w == "-to") {
            if (i + 1 >= words.size()) return w + " needs a time (seconds or [HH:]MM:SS)";
            const double v = ParseTime(words[++i]);
            if (v < 0) return w + ": '" + words[i] + "' is not a time (seconds or [HH:]MM:SS, up to 100 hours)";
            if (w == "-ss") pending.start = v;
            else if (w == "-t") pending.length = v;
            else to = v;
            if (w != "-ss" && (w == "-t" ? to >= 0 : pending.length >= 0)) return "give -t or -to for a clip, not both";
            have = true;
            continue;
        }
        kept.push_back(w);
        if (w.size() > 1 && w[0] == '-') {
            const CLI::Option* opt = w.find('=') == std::string::npos ? render->get_option_no_throw(w) : nullptr;
            if (opt && opt->get_expected_min() > 0 && i + 1 < words.size()) kept.push_back(words[++i]);
            continue;
        }
        if (const std::string e = clip(w); !e.empty()) return e;
    }
    if (have) return "-ss, -t and -to go before the clip they apply to";
    words = kept;
    return {};
}

}  // namespace bw::cli
