#include "platform/Bundle.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <map>
#include <memory>
#include <vector>

#include "platform/Files.h"
#include "platform/ResourceFork.h"

struct OpaqueCFBundle {
    std::string path;   // .../NAME.bundle
    std::string plist;  // Info.plist text
};

namespace {
std::map<std::string, std::unique_ptr<OpaqueCFBundle>>& Bundles() {
    static std::map<std::string, std::unique_ptr<OpaqueCFBundle>> bundles;
    return bundles;
}
// String lists of every opened bundle resource file, in opening order.
std::vector<ResourceForkImage>& OpenMaps() {
    static std::vector<ResourceForkImage> maps;
    return maps;
}

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The NAME.bundle folder above a file inside it (NAME.bundle/Contents/Linux/lib.so), or empty.
std::string EnclosingBundle(std::string path) {
    while (!path.empty()) {
        if (path.size() > 7 && path.compare(path.size() - 7, 7, ".bundle") == 0) return path;
        path = Parent(path);
    }
    return {};
}
}  // namespace

std::string PlistStringValue(const std::string& plist, const std::string& key) {
    const std::string tag = "<key>" + key + "</key>";
    size_t at = plist.find(tag);
    if (at == std::string::npos) return {};
    at = plist.find_first_not_of(" \t\r\n", at + tag.size());
    if (at == std::string::npos || plist.compare(at, 8, "<string>") != 0) return {};
    const size_t end = plist.find("</string>", at + 8);
    if (end == std::string::npos) return {};
    return plist.substr(at + 8, end - at - 8);
}

CFBundleRef CFBundleCreateFromPath(const std::string& bundlePath) {
    auto& bundles = Bundles();
    if (auto found = bundles.find(bundlePath); found != bundles.end()) return found->second.get();
    std::vector<uint8_t> bytes;
    if (FSReadWholeFile(bundlePath + "/Contents/Info.plist", bytes, 1 << 20) != noErr) return nullptr;
    auto bundle = std::make_unique<OpaqueCFBundle>();
    bundle->path = bundlePath;
    bundle->plist.assign(bytes.begin(), bytes.end());
    CFBundleRef ref = bundle.get();
    bundles.emplace(bundlePath, std::move(bundle));
    return ref;
}

namespace {
std::string lgOwnBundlePath;
}

void CFBundleSetOwnBundlePath(const std::string& bundlePath) { lgOwnBundlePath = bundlePath; }

CFBundleRef CFBundleGetMainBundle() {
    if (!lgOwnBundlePath.empty()) return CFBundleCreateFromPath(lgOwnBundlePath);
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&CFBundleGetMainBundle), &info) || !info.dli_fname) return nullptr;
    char resolved[4096];
    const std::string object = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    const std::string folder = EnclosingBundle(object);
    return folder.empty() ? nullptr : CFBundleCreateFromPath(folder);
}

CFBundleRef CFBundleGetBundleWithIdentifier(const char* bundleID) {
    if (!bundleID) return nullptr;
    CFBundleRef bundle = CFBundleGetMainBundle();
    return bundle && CFBundleGetIdentifier(bundle) == bundleID ? bundle : nullptr;
}

void CFRetain(CFBundleRef) {}
void CFRelease(CFBundleRef) {}

std::string CFBundleGetPath(CFBundleRef bundle) { return bundle ? bundle->path : std::string(); }
std::string CFBundleGetIdentifier(CFBundleRef bundle) {
    return bundle ? PlistStringValue(bundle->plist, "CFBundleIdentifier") : std::string();
}
std::string CFBundleGetInfoValue(CFBundleRef bundle, const std::string& key) {
    return bundle ? PlistStringValue(bundle->plist, key) : std::string();
}

std::string CFBundleCopyResourceURL(CFBundleRef bundle, const std::string& name, const std::string& type) {
    return CFBundleCopyResourceURL(bundle, name, type, std::string());
}

namespace {
bool Climbs(const std::string& part) {
    if (!part.empty() && part[0] == '/') return true;
    for (size_t at = 0; at <= part.size();) {
        const size_t slash = std::min(part.find('/', at), part.size());
        if (part.compare(at, slash - at, "..") == 0 && slash - at == 2) return true;
        at = slash + 1;
    }
    return false;
}
}  // namespace

std::string CFBundleCopyResourceURL(CFBundleRef bundle, const std::string& name, const std::string& type,
                                    const std::string& subDir) {
    if (!bundle || name.empty() || Climbs(name) || Climbs(subDir) || Climbs(type)) return {};
    std::string path = bundle->path + "/Contents/Resources/" + (subDir.empty() ? "" : subDir + "/") + name;
    if (!type.empty()) path += "." + type;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    std::fclose(f);
    return path;
}

OSErr CFBundleOpenBundleResourceMap(CFBundleRef bundle) {
    if (!bundle) return paramErr;
    const std::string folder = bundle->path + "/Contents/Resources";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return fnfErr;
    OSErr result = fnfErr;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 6 || name.compare(name.size() - 5, 5, ".rsrc") != 0) continue;
        std::vector<uint8_t> bytes;
        ResourceForkImage fork;
        if (FSReadWholeFile(folder + "/" + name, bytes, cMaxResourceForkBytes) == noErr &&
            ParseResourceFork(bytes.data(), bytes.size(), fork)) {
            OpenMaps().push_back(std::move(fork));
            result = noErr;
        }
    }
    closedir(dir);
    return result;
}

void GetIndString(Str255 theString, int16_t strListID, int16_t index) {
    theString[0] = 0;
    if (index < 1) return;
    for (const ResourceForkImage& fork : OpenMaps())
        for (const ResourceEntry& entry : fork.Entries) {
            if (entry.Type != FourCC("STR#") || entry.ID != strListID) continue;
            // A string list: count (u16, big-endian), then length-prefixed strings.
            const std::vector<uint8_t>& d = entry.Data;
            if (d.size() < 2) return;
            const int count = (d[0] << 8) | d[1];
            size_t at = 2;
            for (int i = 1; i <= count && at < d.size(); i++) {
                const size_t len = d[at];
                if (at + 1 + len > d.size()) return;
                if (i == index) {
                    theString[0] = uint8_t(len);
                    std::memcpy(theString + 1, d.data() + at + 1, len);
                    return;
                }
                at += 1 + len;
            }
            return;
        }
}
