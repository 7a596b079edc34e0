// The settings table and the settings options of the render-like commands.
#include "editor/cli/settings.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "editor/cli/command.h"
#include "host/PluginDefines.h"
#include "platform/Memory.h"

namespace bw::cli {
namespace {

bool Number(const std::string& text, long lo, long hi, long& out) {
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && !*end && out >= lo && out <= hi;
}
std::string Span(long lo, long hi) { return std::to_string(lo) + ".." + std::to_string(hi); }

template <int16_t& (*Field)(PluginDataRec&), long Lo, long Hi>
bool ApplyNumber(PluginDataRec& c, const std::string& value) {
    long n;
    if (!Number(value, Lo, Hi, n)) return false;
    Field(c) = int16_t(n);
    return true;
}
template <int16_t& (*Field)(PluginDataRec&)>
std::string ShowNumber(const PluginDataRec& c) {
    return std::to_string(Field(const_cast<PluginDataRec&>(c)));  // the field is only read
}
int16_t& MethodField(PluginDataRec& c) { return c.Method; }
int16_t& ColumnsField(PluginDataRec& c) { return c.Sliders[1]; }
int16_t& RowsField(PluginDataRec& c) { return c.Sliders[2]; }
int16_t& DurationField(PluginDataRec& c) { return c.Sliders[3]; }

bool ApplyRandomized(PluginDataRec& c, const std::string& value) {
    if (value == "on" || value == "true" || value == "1" || value == "yes") c.RandomizedDuration = true;
    else if (value == "off" || value == "false" || value == "0" || value == "no") c.RandomizedDuration = false;
    else return false;
    return true;
}

// Exactly '#' and six hex digits: sscanf's %x alone would skip spaces inside.
bool ApplyColor(PluginDataRec& c, const std::string& value) {
    unsigned r, g, b;
    if (value.size() != 7 || value[0] != '#' ||
        !std::all_of(value.begin() + 1, value.end(), [](char ch) { return std::isxdigit(uint8_t(ch)) != 0; }) ||
        std::sscanf(value.c_str(), "#%2x%2x%2x", &r, &g, &b) != 3)
        return false;
    c.Colors[1] = RGBColor{uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257)};
    return true;
}

bool ApplyRect(PluginDataRec& c, const std::string& value) {
    double l, t, r, b;
    char extra;
    if (std::sscanf(value.c_str(), "%lf,%lf,%lf,%lf%c", &l, &t, &r, &b, &extra) != 4 || !(l >= 0 && l < r && r <= 1) ||
        !(t >= 0 && t < b && b <= 1))
        return false;
    c.StartRel = RelRect{l, r, t, b};
    return true;
}

std::string ShowRandomized(const PluginDataRec& c) { return c.RandomizedDuration ? "on" : "off"; }
std::string ShowColor(const PluginDataRec& c) { return Hex(c.Colors[1]); }
std::string ShowRect(const PluginDataRec& c) {
    char text[128];
    std::snprintf(text, sizeof text, "%g,%g,%g,%g", c.StartRel.Left, c.StartRel.Top, c.StartRel.Right, c.StartRel.Bottom);
    return text;
}

const char* const cMediaNames[] = {"ntsc", "pal", "hd"};  // media types 1, 2 and 3
std::string ShowMedia(const PluginDataRec& c) {
    return c.MediaType >= 1 && c.MediaType <= 3 ? cMediaNames[c.MediaType - 1] : "ntsc";
}
bool ApplyMedia(PluginDataRec& c, const std::string& value) {
    for (int16_t type = 1; type <= 3; type++)
        if (value == cMediaNames[type - 1] || value == std::to_string(type)) {
            c.MediaType = type;
            return true;
        }
    return false;
}

const std::string cMethods = Span(1, cMethodCount), cColumns = Span(1, cMaxRectHoriz),
                  cRows = Span(1, cMaxRectVert), cPercent = Span(0, 100);

}  // namespace

const std::vector<SettingRow>& SettingRows() {
    static const std::vector<SettingRow> cRows_ = {
        {"--method", "method", cMethods, "tile ordering for this render", "tile ordering (see docs/orderings.png)",
         ApplyNumber<MethodField, 1, cMethodCount>, "method must be " + cMethods, ShowNumber<MethodField>},
        {"--columns", "columns", cColumns, "tile columns for this render", "tile columns",
         ApplyNumber<ColumnsField, 1, cMaxRectHoriz>, "columns must be " + cColumns, ShowNumber<ColumnsField>},
        {"--rows", "rows", cRows, "tile rows for this render", "tile rows", ApplyNumber<RowsField, 1, cMaxRectVert>,
         "rows must be " + cRows, ShowNumber<RowsField>},
        {"--tile-duration", "duration", cPercent, "share of the transition each tile spends changing, in percent",
         "share of the transition each tile spends changing, in percent", ApplyNumber<DurationField, 0, 100>,
         "duration must be " + cPercent + " (percent)", ShowNumber<DurationField>},
        {"--randomized", "randomized", "on|off", "vary each tile's change length", "vary each tile's change length",
         ApplyRandomized, "randomized must be on or off", ShowRandomized},
        {"--color", "color", "#RRGGBB", "colour standing in for the missing clip",
         "colour standing in for the missing clip (before/after)", ApplyColor,
         "color must be #RRGGBB (six hex digits), not '", ShowColor},
        {"--rect", "rect", "L,T,R,B", "active area as fractions of the frame",
         "active area as fractions of the frame, 0 <= L < R <= 1, 0 <= T < B <= 1", ApplyRect,
         "rect must be L,T,R,B with 0 <= L < R <= 1 and 0 <= T < B <= 1", ShowRect},
        {"", "media", "ntsc|pal|hd", "", "preview frame format of the configuration dialog", ApplyMedia,
         "media must be ntsc, pal or hd", ShowMedia},
    };
    return cRows_;
}

Config::Config() { ResetConfig(&rec, true); }
Config::~Config() { DisposePtr(reinterpret_cast<Ptr>(rec.Rects)); }

std::string ApplySetting(PluginDataRec& c, const std::string& item) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) return "'" + item + "' is not KEY=VALUE";
    std::string key = item.substr(0, eq);
    const std::string value = item.substr(eq + 1);
    if (key == "colour") key = "color";
    std::string keys;
    for (const SettingRow& row : SettingRows()) {
        keys += (keys.empty() ? "" : ", ") + std::string(row.Key);
        if (key != row.Key) continue;
        if (row.Apply(c, value)) return {};
        return row.Refusal + (row.Refusal.back() == '\'' ? value + "'" : "");  // the colour quotes the value
    }
    return "unknown key '" + item.substr(0, eq) + "' (" + keys + ")";
}

std::string KeysHelp() {
    std::string text = "keys:";
    for (const SettingRow& row : SettingRows()) {
        char line[160];
        std::snprintf(line, sizeof line, "\n  %-21s%s", (std::string(row.Key) + "=" + row.Range).c_str(), row.KeyHelp);
        text += line;
    }
    return text;
}

std::string Hex(const RGBColor& c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.RED >> 8, c.GREEN >> 8, c.BLUE >> 8);
    return text;
}

void ShowPrefs(const PluginDataRec& c) {
    for (const SettingRow& row : SettingRows()) std::printf("%s=%s\n", row.Key, row.Show(c).c_str());
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> items;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        items.push_back(text.substr(from, at - from));
    items.push_back(text.substr(from));
    return items;
}

char ListSeparator(const std::string& key) { return key == "rect" ? '/' : ','; }

std::vector<std::string> SettingsFor(const Command& c, size_t k) {
    std::vector<std::string> items;
    for (const std::string& item : c.settings) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::vector<std::string> values = SplitList(item.substr(eq + 1), ListSeparator(key));
        items.push_back(key + "=" + values[std::min(k, values.size() - 1)]);
    }
    return items;
}

std::string TransitionCount(size_t transitions) {
    return std::to_string(transitions) + (transitions == 1 ? " transition" : " transitions");
}

std::string SettingsListError(const Command& c, size_t transitions) {
    for (const std::string& item : c.settings) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const size_t n = SplitList(item.substr(eq + 1), ListSeparator(key)).size();
        std::string option = key;
        for (const auto& [k, o] : c.settingOptions)
            if (k == key) option = o;
        if (n > 1 && n != transitions)
            return option + " gives " + std::to_string(n) + " values for " + TransitionCount(transitions);
    }
    return {};
}
void AddSettings(CLI::App* app, Command& c) {
    // Each takes one value for every transition or a list with one per transition.
    std::vector<CLI::Option*> grid;
    for (const SettingRow& row : SettingRows()) {
        if (!*row.Option) continue;  // a key of the saved default only
        const std::string key = row.Key;
        const char separator = ListSeparator(key);
        CLI::Option* opt = app->add_option_function<std::string>(
                                  row.Option,
                                  [&c, key, option = std::string(row.Option)](const std::string& v) {
            c.settings.push_back(key + "=" + v);
            c.settingOptions.emplace_back(key, option);
                                  },
                                  std::string(row.Help) + " (a list: one per transition" +
                                      (separator == ',' ? ")" : ", separated by /)"))
            ->type_name(row.Range + "[" + separator + "...]")
            ->check(CLI::Validator(
                [key, separator](std::string& v) -> std::string {
                    Config scratch;
                    for (const std::string& one : SplitList(v, separator))
                        if (std::string e = ApplySetting(scratch.rec, key + "=" + one); !e.empty())
                            return e;
                    return {};
                },
                row.Range));
        if (key == "columns" || key == "rows") grid.push_back(opt);
    }
    CLI::Option* g = app->add_option_function<std::string>(
                            "--grid",
                            [&c](const std::string& v) {
        std::string columns, rows;
        for (const std::string& one : SplitList(v)) {
            const size_t x = one.find('x');
            columns += (columns.empty() ? "" : ",") + one.substr(0, x);
            rows += (rows.empty() ? "" : ",") + one.substr(x + 1);
        }
        c.settings.push_back("columns=" + columns);
        c.settings.push_back("rows=" + rows);
        c.settingOptions.emplace_back("columns", "--grid");
        c.settingOptions.emplace_back("rows", "--grid");
                            },
                            "tile columns and rows (a list: one per transition)")
        ->type_name("CxR[,...]")
        ->check(CLI::Validator(
            [](std::string& v) -> std::string {
                Config scratch;
                for (const std::string& one : SplitList(v)) {
                    const size_t x = one.find('x');
                    if (x == std::string::npos || !ApplySetting(scratch.rec, "columns=" + one.substr(0, x)).empty() ||
                        !ApplySetting(scratch.rec, "rows=" + one.substr(x + 1)).empty())
                        return "must be COLUMNSxROWS, each " + cColumns;
                }
                return {};
            },
            "CxR"));
    for (CLI::Option* opt : grid) g->excludes(opt);
    app->add_option("--settings", c.settingsFile, "render with this saved preferences file instead of yours")
        ->check(CLI::ExistingFile)
        ->type_name("FILE");
}

}  // namespace bw::cli
