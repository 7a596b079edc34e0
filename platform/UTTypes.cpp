#include "platform/UTTypes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "platform/Files.h"

namespace {
struct UTIName {
    const char* uti;
    const char* mime;
};
constexpr UTIName cNames[] = {
    {"public.png", "image/png"},
    {"public.jpeg", "image/jpeg"},
    {"public.tiff", "image/tiff"},
    {"com.compuserve.gif", "image/gif"},
    {"org.webmproject.webp", "image/webp"},
    {"com.microsoft.bmp", "image/bmp"},
    {"com.apple.pict", "image/x-pict"},
    {"public.svg-image", "image/svg+xml"},
    {"com.adobe.pdf", "application/pdf"},
    {"public.plain-text", "text/plain"},
    {"public.html", "text/html"},
    {"public.xml", "application/xml"},
    {"public.zip-archive", "application/zip"},
    {"public.mpeg-4", "video/mp4"},
    {"com.apple.quicktime-movie", "video/quicktime"},
    {"public.mp3", "audio/mpeg"},
};
// Type codes the platform's files carry.
struct TypeCode {
    const char* code;
    const char* mime;
};
constexpr TypeCode cTypeCodes[] = {
    {"PNGf", "image/png"},
    {"JPEG", "image/jpeg"},
    {"TIFF", "image/tiff"},
    {"GIFf", "image/gif"},
    {"WEBP", "image/webp"},
    {"BMPf", "image/bmp"},
    {"PICT", "image/x-pict"},
    {"PDF ", "application/pdf"},
    {"TEXT", "text/plain"},
    {"MooV", "video/quicktime"},
};
constexpr const char* cDynamic = "dyn.";

struct Database {
    std::map<std::string, std::pair<int, std::string>> byExtension;       // lower-case extension: weight, type
    std::map<std::string, std::pair<int, std::string>> byExactExtension;  // case-sensitive globs
    std::multimap<std::string, std::string> parents;
    std::map<std::string, std::string> aliases;
};
std::vector<std::string> lgDirs;
std::unique_ptr<Database> lgDatabase;

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> DatabaseDirs() {
    if (!lgDirs.empty()) return lgDirs;
    std::vector<std::string> dirs;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && *dataHome == '/') dirs.push_back(std::string(dataHome) + "/mime");
    else if (home && *home == '/') dirs.push_back(std::string(home) + "/.local/share/mime");
    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    for (size_t at = 0; at <= list.size();) {
        const size_t colon = std::min(list.find(':', at), list.size());
        if (colon > at && list[at] == '/') dirs.push_back(list.substr(at, colon - at) + "/mime");
        at = colon + 1;
    }
    return dirs;
}

// Lines of "weight:type:glob[:flags]"; only plain "*.ext" globs name extensions. Earlier folders
// win over later ones at equal weight.
void ReadGlobs(const std::string& path, Database& db) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t a = line.find(':'), b = line.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        const size_t c = line.find(':', b + 1);
        const std::string glob = line.substr(b + 1, c == std::string::npos ? std::string::npos : c - b - 1);
        const std::string flags = c == std::string::npos ? std::string() : line.substr(c + 1);
        if (glob.size() < 3 || glob.compare(0, 2, "*.") != 0 || glob.find_first_of("*?[", 2) != std::string::npos)
            continue;
        const int weight = std::atoi(line.substr(0, a).c_str());
        const std::string type = line.substr(a + 1, b - a - 1);
        const bool cs = flags.find("cs") != std::string::npos;
        auto& table = cs ? db.byExactExtension : db.byExtension;
        const std::string ext = cs ? glob.substr(2) : Lower(glob.substr(2));
        auto found = table.find(ext);
        if (found == table.end() || found->second.first < weight) table[ext] = {weight, type};
    }
}

void ReadPairs(const std::string& path, const std::function<void(const std::string&, const std::string&)>& add) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.find(' ');
        if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
        add(line.substr(0, space), line.substr(space + 1));
    }
}

const Database& Db() {
    if (!lgDatabase) {
        lgDatabase = std::make_unique<Database>();
        Database& db = *lgDatabase;
        for (const std::string& dir : DatabaseDirs()) {
            ReadGlobs(dir + "/globs2", db);
            ReadPairs(dir + "/subclasses", [&](const std::string& child, const std::string& parent) {
                db.parents.emplace(child, parent);
            });
            ReadPairs(dir + "/aliases", [&](const std::string& alias, const std::string& type) { db.aliases.emplace(alias, type); });
        }
    }
    return *lgDatabase;
}

std::string Canonical(const std::string& mime) {
    const auto& aliases = Db().aliases;
    const auto found = aliases.find(Lower(mime));
    return found == aliases.end() ? Lower(mime) : found->second;
}

std::string UTIForMime(const std::string& mime) {
    if (mime.empty()) return {};
    const std::string canonical = Canonical(mime);
    for (const UTIName& n : cNames)
        if (canonical == n.mime) return n.uti;
    return cDynamic + canonical;
}

// Every type `mime` conforms to: itself, its ancestors by the database, text/plain for text, and
// application/octet-stream for all.
std::set<std::string> Ancestors(const std::string& mime) {
    std::set<std::string> seen;
    std::vector<std::string> todo{Canonical(mime)};
    while (!todo.empty()) {
        const std::string m = todo.back();
        todo.pop_back();
        if (!seen.insert(m).second) continue;
        const auto range = Db().parents.equal_range(m);
        for (auto p = range.first; p != range.second; ++p) todo.push_back(Canonical(p->second));
        if (m.compare(0, 5, "text/") == 0) todo.push_back("text/plain");
    }
    seen.insert("application/octet-stream");
    return seen;
}

bool HasMedia(const std::string& mime, const char* media) { return mime.rfind(media, 0) == 0; }
}  // namespace

void UTSetMimeDatabaseDirs(const std::vector<std::string>& dirs) {
    lgDirs = dirs;
    lgDatabase.reset();
}

std::string UTTypeCopyMIMEType(const std::string& uti) {
    for (const UTIName& n : cNames)
        if (uti == n.uti) return n.mime;
    return uti.rfind(cDynamic, 0) == 0 ? uti.substr(4) : std::string();
}

std::string UTCreateStringForOSType(OSType type) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; i++) s[size_t(i)] = char((type >> (24 - 8 * i)) & 0xFF);
    return s;
}

std::string UTTypeCreatePreferredIdentifierForTag(const std::string& tagClass, const std::string& tag,
                                                  const std::string&) {
    if (tag.empty()) return {};
    if (tagClass == kUTTagClassMIMEType) return UTIForMime(tag);
    if (tagClass == kUTTagClassOSType) {
        for (const TypeCode& t : cTypeCodes)
            if (tag == t.code) return UTIForMime(t.mime);
        return {};
    }
    if (tagClass != kUTTagClassFilenameExtension) return {};
    const Database& db = Db();
    if (const auto exact = db.byExactExtension.find(tag); exact != db.byExactExtension.end())
        return UTIForMime(exact->second.second);
    const auto found = db.byExtension.find(Lower(tag));
    return found == db.byExtension.end() ? std::string() : UTIForMime(found->second.second);
}

Boolean UTTypeConformsTo(const std::string& inUTI, const std::string& inConformsToUTI) {
    if (inUTI.empty() || inConformsToUTI.empty()) return false;
    if (inUTI == inConformsToUTI) return true;
    const std::string mime = Canonical(UTTypeCopyMIMEType(inUTI));
    const std::string& to = inConformsToUTI;
    if (to == "public.item" || to == "public.data" || to == "public.content") return !mime.empty();
    if (mime.empty()) return false;
    const std::set<std::string> ancestors = Ancestors(mime);
    auto anyMedia = [&](const char* media) {
        return std::any_of(ancestors.begin(), ancestors.end(), [&](const std::string& m) { return HasMedia(m, media); });
    };
    if (to == "public.image") return anyMedia("image/");
    if (to == "public.text") return anyMedia("text/");
    if (to == "public.audio") return anyMedia("audio/");
    if (to == "public.movie") return anyMedia("video/");
    if (to == "public.audiovisual-content") return anyMedia("video/") || anyMedia("audio/");
    const std::string target = Canonical(UTTypeCopyMIMEType(to));
    return !target.empty() && ancestors.count(target) > 0;
}

OSStatus LSCopyItemInfoForRef(const FSRef* inItemRef, uint32_t inWhichInfo, LSItemInfoRecord* outItemInfo) {
    if (!inItemRef || !outItemInfo) return paramErr;
    *outItemInfo = LSItemInfoRecord{};
    struct stat st {};
    if (inItemRef->path.empty() || ::stat(inItemRef->path.c_str(), &st) != 0) return fnfErr;
    const std::string& path = inItemRef->path;
    const std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    if (inWhichInfo & kLSRequestExtension) {
        const size_t dot = name.find_last_of('.');
        if (dot != std::string::npos && dot > 0 && dot + 1 < name.size()) outItemInfo->extension = name.substr(dot + 1);
    }
    if (inWhichInfo & kLSRequestTypeCreator) {
        FSSpec file;
        FInfo info{};
        if (FSMakeFSSpecFromPath(path, &file) == noErr && FSpGetFInfo(&file, &info) == noErr) {
            outItemInfo->filetype = info.fdType;
            outItemInfo->creator = info.fdCreator;
        }
    }
    outItemInfo->flags = inWhichInfo;
    return noErr;
}
