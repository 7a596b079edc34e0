// The transition's settings as the command line names them: one table of rows {option, key,
// range, help, apply} that the render options, 'prefs set' and its help, and 'prefs show' read.
#pragma once
#include <string>
#include <vector>

#include "settings/DataHandling.h"

namespace CLI {
class App;
}

namespace bw::cli {
struct Command;

// A configuration record with the factory defaults, its rectangles freed at the end.
struct Config {
    PluginDataRec rec{};
    Config();
    ~Config();
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;
};

struct SettingRow {
    const char* Option;   // the render option ("" when only 'prefs set' takes the key)
    const char* Key;      // KEY of KEY=VALUE
    std::string Range;    // "1..100", "on|off": the values taken
    const char* Help;     // the option's help
    const char* KeyHelp;  // the key's line in 'prefs set --help'
    // Reads the value into the record; false leaves it alone.
    bool (*Apply)(PluginDataRec& c, const std::string& value);
    std::string Refusal;                          // what a refused value is told
    std::string (*Show)(const PluginDataRec& c);  // the value as 'prefs show' prints it
};
const std::vector<SettingRow>& SettingRows();

// Applies KEY=VALUE to the record; an error names the key and the allowed values.
std::string ApplySetting(PluginDataRec& c, const std::string& item);
// The keys for 'prefs set --help', one line each.
std::string KeysHelp();
// KEY=VALUE lines, as 'prefs show' prints them.
void ShowPrefs(const PluginDataRec& c);
std::string Hex(const RGBColor& c);

std::vector<std::string> SplitList(const std::string& text, char separator = ',');
// A settings list's values, one per transition. A rect holds commas of its own: rects are
// separated by '/', which a shell passes as it is (--rect 0,0,1,1/0.1,0.1,0.9,0.9).
char ListSeparator(const std::string& key);
// The KEY=VALUE items of transition k: each list's kth value, or its only one.
std::vector<std::string> SettingsFor(const Command& c, size_t k);
std::string TransitionCount(size_t transitions);
// The longest settings list, when it does not fit the transitions: an error naming the option given.
std::string SettingsListError(const Command& c, size_t transitions);

// Settings for one render (the table's options, --grid and --settings), checked as 'prefs set' checks them.
void AddSettings(CLI::App* app, Command& c);

}  // namespace bw::cli
