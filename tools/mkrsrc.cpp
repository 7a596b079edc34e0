// mkrsrc: compiles a text source of string lists into a resource file.
//   mkrsrc SOURCE.txt OUT.rsrc
// Source: '#' starts a comment line; "STR# ID [name]" starts a string list; every following
// non-empty line until the next list is one string of it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/ResourceFork.h"

namespace {
void AppendString(std::vector<uint8_t>& list, const std::string& s) {
    list.push_back(uint8_t(s.size()));
    list.insert(list.end(), s.begin(), s.end());
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkrsrc SOURCE.txt OUT.rsrc\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "mkrsrc: %s: cannot read\n", argv[1]);
        return 1;
    }
    ResourceForkImage fork;
    std::vector<std::vector<std::string>> lists;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("STR# ", 0) == 0) {
            std::istringstream header(line.substr(5));
            int id;
            if (!(header >> id) || id < -32768 || id > 32767) {
                std::fprintf(stderr, "mkrsrc: %s:%d: bad list ID\n", argv[1], lineNo);
                return 1;
            }
            std::string name;
            std::getline(header >> std::ws, name);
            fork.Entries.push_back(ResourceEntry{FourCC("STR#"), int16_t(id), !name.empty(), name, 0, {}});
            lists.emplace_back();
            continue;
        }
        if (lists.empty() || line.size() > 255) {
            std::fprintf(stderr, "mkrsrc: %s:%d: %s\n", argv[1], lineNo,
                         lists.empty() ? "string outside a list" : "string longer than 255 characters");
            return 1;
        }
        lists.back().push_back(line);
    }
    for (size_t i = 0; i < lists.size(); i++) {
        std::vector<uint8_t>& data = fork.Entries[i].Data;
        data = {uint8_t(lists[i].size() >> 8), uint8_t(lists[i].size())};
        for (const std::string& s : lists[i]) AppendString(data, s);
    }
    std::vector<uint8_t> bytes;
    if (!WriteResourceFork(fork, bytes)) {
        std::fprintf(stderr, "mkrsrc: %s: the lists do not fit a resource file\n", argv[1]);
        return 1;
    }
    const std::string tmp = std::string(argv[2]) + ".tmp";
    std::ofstream out(tmp, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out || std::rename(tmp.c_str(), argv[2]) != 0) {
        std::remove(tmp.c_str());
        std::fprintf(stderr, "mkrsrc: %s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
