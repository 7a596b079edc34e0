// What Kdenlive makes of a transition or effect description (its XML) as its asset parameter model
// and number widget do: a number parameter shows its stored value x `factor`, rounded to `decimals`
// places (none when not given; `offset` is not read), and stores what is typed / `factor`, written
// with six decimals. CheckDescription holds a description to what the service renders: for any
// frei0r plug-in or MLT service, given what it makes of a stored value.
#pragma once
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/PluginDefines.h"

namespace kdenlive {

struct Param {
    std::map<std::string, std::string> Attrs;  // the <parameter> element's attributes
    std::vector<std::string> ListNames;        // <paramlistdisplay>, comma-separated
    std::string Name() const { return Get("name"); }
    std::string Type() const { return Get("type"); }
    std::string Get(const std::string& key) const {
        auto it = Attrs.find(key);
        return it == Attrs.end() ? "" : it->second;
    }
    double Number(const std::string& key, double fallback) const {
        const std::string text = Get(key);
        return text.empty() ? fallback : std::stod(text);
    }
    double Factor() const {
        const double f = Number("factor", 1);
        return f == 0 ? 1 : f;
    }
    int Decimals() const { return int(Number("decimals", 0)); }
};

inline std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
    return parts;
}

// The parameters of a description, in order. Empty when the file cannot be read.
inline std::vector<Param> ReadDescription(const std::string& path) {
    std::ifstream file(path);
    const std::string xml{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<Param> params;
    static const std::regex element(R"(<parameter\s([^>]*)>([\s\S]*?)</parameter>)");
    static const std::regex attribute(R"(([\w:-]+)\s*=\s*"([^"]*)\")");
    static const std::regex display(R"(<paramlistdisplay>([\s\S]*?)</paramlistdisplay>)");
    for (auto e = std::sregex_iterator(xml.begin(), xml.end(), element); e != std::sregex_iterator(); ++e) {
        Param p;
        const std::string attrs = (*e)[1];
        for (auto a = std::sregex_iterator(attrs.begin(), attrs.end(), attribute); a != std::sregex_iterator(); ++a)
            p.Attrs[(*a)[1]] = (*a)[2];
        const std::string body = (*e)[2];
        if (std::smatch m; std::regex_search(body, m, display)) p.ListNames = Split(m[1], ',');
        params.push_back(p);
    }
    return params;
}

// The widget types Kdenlive knows (an unknown one becomes a number with a warning).
inline bool KnownType(const std::string& type) {
    static const std::set<std::string> known = {
        "double", "float", "constant", "list", "listdependency", "urllist", "bool", "switch", "multiswitch",
        "simplekeyframe", "animated", "keyframe", "animatedrect", "rect", "geometry", "color", "fixedcolor",
        "colorwheel", "position", "curve", "bezier_spline", "roto-spline", "wipe", "url", "keywords",
        "fontfamily", "filterjob", "readonly", "hidden", "fixed", "point", "fakepoint", "animatedpoint",
        "animatedfakepoint", "fakerect", "animatedfakerect", "effectbuttons"};
    return known.count(type) > 0;
}
inline bool IsNumber(const Param& p) {
    const std::string t = p.Type();
    return t == "double" || t == "float" || t == "constant" || t == "animated" || t == "keyframe" ||
           t == "simplekeyframe";
}

// The number Kdenlive shows for a stored value, and the text it stores for a typed number.
inline double Shown(const Param& p, double stored) {
    const double scale = std::pow(10.0, p.Decimals());
    return std::round(stored * p.Factor() * scale) / scale;
}
inline std::string Stored(const Param& p, double typed) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", typed / p.Factor());
    return text;
}

// The stored values of a default: a number, or keyframes "frame=value;frame=value".
inline std::vector<double> DefaultValues(const Param& p) {
    std::vector<double> values;
    for (const std::string& key : Split(p.Get("default"), ';')) {
        const size_t eq = key.find('=');
        values.push_back(std::stod(eq == std::string::npos ? key : key.substr(eq + 1)));
    }
    return values;
}

// What the service renders for a stored value of the named parameter, in the units the description
// shows it in (nullopt: the service has no such parameter).
using RenderedAs = std::function<std::optional<double>(const std::string& name, double stored)>;

// Every number parameter, at its default, minimum and maximum (and, when it shows whole numbers,
// at every whole number between): what Kdenlive shows is what renders, and a number typed in comes
// back as that number. Lists: as many names as values, the default one of them, each value its
// own setting. Returns what is wrong, one line each.
inline std::vector<std::string> CheckDescription(const std::vector<Param>& params, const RenderedAs& rendered) {
    std::vector<std::string> wrong;
    auto say = [&](const Param& p, const std::string& what) { wrong.push_back(p.Name() + ": " + what); };
    auto num = [](double v) {
        std::ostringstream s;
        s << v;
        return s.str();
    };
    for (const Param& p : params) {
        if (!KnownType(p.Type())) say(p, "type \"" + p.Type() + "\" is unknown to Kdenlive");
        if (p.Type() == "fixed") continue;
        if (p.Type() == "list") {
            const std::vector<std::string> values = Split(p.Get("paramlist"), ';');
            if (values.size() != p.ListNames.size())
                say(p, num(double(values.size())) + " values, " + num(double(p.ListNames.size())) + " names");
            bool hasDefault = false;
            std::set<double> settings;
            for (const std::string& v : values) {
                hasDefault = hasDefault || std::stod(v) == std::stod(p.Get("default"));
                const std::optional<double> r = rendered(p.Name(), std::stod(v));
                if (!r || !settings.insert(*r).second) say(p, "value " + v + " is no setting of its own");
            }
            if (!hasDefault) say(p, "default " + p.Get("default") + " is not in the list");
            continue;
        }
        if (p.Type() == "bool") {
            const double d = std::stod(p.Get("default"));
            const std::optional<double> r = rendered(p.Name(), d);
            if (!r || *r != d) say(p, "default " + p.Get("default") + " renders as " + (r ? num(*r) : "nothing"));
            continue;
        }
        if (!IsNumber(p)) continue;
        const double low = p.Number("min", 0), high = p.Number("max", 0);
        auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); };
        for (double d : DefaultValues(p)) {
            const double shown = Shown(p, d);
            const std::optional<double> r = rendered(p.Name(), d);
            if (shown < low || shown > high) say(p, "default shows " + num(shown) + ", outside " + num(low) + ".." + num(high));
            if (!r || !near(*r, shown))
                say(p, "default " + num(d) + " shows " + num(shown) + ", renders " + (r ? num(*r) : "nothing"));
        }
        std::set<double> typed = {low, high};
        if (p.Decimals() == 0 && high - low <= 100000)
            for (double n = std::ceil(low); n <= high; n++) typed.insert(n);
        for (double n : typed) {
            const double stored = std::stod(Stored(p, n));
            const std::optional<double> r = rendered(p.Name(), stored);
            if (!near(Shown(p, stored), n)) say(p, "typing " + num(n) + " shows " + num(Shown(p, stored)) + " again");
            if (!r || !near(*r, n)) say(p, "typing " + num(n) + " renders " + (r ? num(*r) : "nothing"));
        }
    }
    return wrong;
}

// A description file is written by hand: every count of orderings it states ("one of N",
// "1..N", the maximum of MLT's "identifier: method" entry) and the entries of a "method" list must be
// cMethodCount. Also fails when the file states none.
inline std::vector<std::string> CheckOrderingCount(const std::string& path, const std::vector<Param>& params) {
    std::ifstream file(path);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    static const std::regex stated(R"(one of (\d+)|1\.\.(\d+)|identifier: method[^-]*?maximum: (\d+))");
    std::vector<long> counts;
    for (auto m = std::sregex_iterator(text.begin(), text.end(), stated); m != std::sregex_iterator(); ++m)
        for (int g = 1; g <= 3; g++)
            if ((*m)[g].matched) counts.push_back(std::stol((*m)[g]));
    for (const Param& p : params)
        if (p.Name() == "method" && p.Type() == "list") counts.push_back(long(Split(p.Get("paramlist"), ';').size()));
    std::vector<std::string> wrong;
    if (counts.empty()) wrong.push_back(path + ": states no count of orderings");
    for (long n : counts)
        if (n != cMethodCount) wrong.push_back(path + ": states " + std::to_string(n) + " orderings, not " +
                                               std::to_string(cMethodCount));
    return wrong;
}

}  // namespace kdenlive
