// Resource forks built and read in the tests themselves, straight from the layout description
// (platform/ResourceFork.h), sharing no code with the platform's reader and writer. The builder
// places things as other tools may: the map right after the 16-byte header, the data last.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace forkbytes {
struct Res {
    std::string Type;  // four characters
    int16_t ID;
    std::optional<std::string> Name;
    std::vector<uint8_t> Data;
    uint8_t Attributes = 0;
};

inline void Be(std::vector<uint8_t>& out, uint64_t v, int n) {
    for (int i = n - 1; i >= 0; i--) out.push_back(uint8_t(v >> (8 * i)));
}
inline uint32_t BeAt(const std::vector<uint8_t>& f, size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v = (v << 8) | f.at(at + size_t(i));  // .at(): a bad offset throws
    return v;
}

// Resources must come grouped by type.
inline std::vector<uint8_t> Build(const std::vector<Res>& resources, uint16_t forkAttributes = 0) {
    std::vector<std::string> types;
    for (const Res& r : resources)
        if (types.empty() || types.back() != r.Type) types.push_back(r.Type);
    std::vector<uint8_t> typeList, refs, names, data;
    Be(typeList, types.size() - 1, 2);
    size_t next = 0;
    for (const std::string& t : types) {
        size_t count = 0;
        while (next + count < resources.size() && resources[next + count].Type == t) count++;
        typeList.insert(typeList.end(), t.begin(), t.end());
        Be(typeList, count - 1, 2);
        Be(typeList, 2 + 8 * types.size() + refs.size(), 2);
        for (size_t i = next; i < next + count; i++) {
            const Res& r = resources[i];
            Be(refs, uint16_t(r.ID), 2);
            Be(refs, r.Name ? names.size() : 0xFFFF, 2);
            Be(refs, r.Attributes, 1);
            Be(refs, data.size(), 3);
            Be(refs, 0, 4);
            if (r.Name) {
                names.push_back(uint8_t(r.Name->size()));
                names.insert(names.end(), r.Name->begin(), r.Name->end());
            }
            Be(data, r.Data.size(), 4);
            data.insert(data.end(), r.Data.begin(), r.Data.end());
        }
        next += count;
    }
    const size_t mapLen = 28 + typeList.size() + refs.size() + names.size();
    std::vector<uint8_t> header;
    Be(header, 16 + mapLen, 4);  // data offset: after the map
    Be(header, 16, 4);           // map offset: right after the header
    Be(header, data.size(), 4);
    Be(header, mapLen, 4);
    std::vector<uint8_t> f = header;
    f.insert(f.end(), header.begin(), header.end());
    Be(f, 0, 4);
    Be(f, 0, 2);
    Be(f, forkAttributes, 2);
    Be(f, 28, 2);
    Be(f, 28 + typeList.size() + refs.size(), 2);
    for (const auto* part : {&typeList, &refs, &names, &data}) f.insert(f.end(), part->begin(), part->end());
    return f;
}

struct Read {
    uint16_t ForkAttributes = 0;
    uint32_t DataOffset = 0, MapOffset = 0;
    std::vector<Res> Resources;
};

inline std::string TypeText(uint32_t t) {
    return std::string{char(t >> 24), char(t >> 16), char(t >> 8), char(t)};
}

// Throws std::out_of_range when an offset leaves the file.
inline Read Parse(const std::vector<uint8_t>& f) {
    Read out;
    out.DataOffset = BeAt(f, 0, 4);
    out.MapOffset = BeAt(f, 4, 4);
    const size_t dataOff = out.DataOffset, mapOff = out.MapOffset;
    BeAt(f, mapOff + 15, 1);  // throws when the map's header runs past the end
    if (std::vector<uint8_t>(f.begin(), f.begin() + 16) != std::vector<uint8_t>(f.begin() + long(mapOff),
                                                                                f.begin() + long(mapOff) + 16))
        throw std::runtime_error("the map does not open with a copy of the header");
    out.ForkAttributes = uint16_t(BeAt(f, mapOff + 22, 2));
    const size_t typeList = mapOff + BeAt(f, mapOff + 24, 2);
    const size_t nameList = mapOff + BeAt(f, mapOff + 26, 2);
    const size_t types = (BeAt(f, typeList, 2) + 1) & 0xFFFF;
    for (size_t t = 0; t < types; t++) {
        const size_t entry = typeList + 2 + 8 * t;
        const std::string type = TypeText(BeAt(f, entry, 4));
        const size_t count = BeAt(f, entry + 4, 2) + 1;
        const size_t refs = typeList + BeAt(f, entry + 6, 2);
        for (size_t i = 0; i < count; i++) {
            const size_t ref = refs + 12 * i;
            Res r;
            r.Type = type;
            r.ID = int16_t(BeAt(f, ref, 2));
            const uint32_t nameOff = BeAt(f, ref + 2, 2);
            r.Attributes = uint8_t(BeAt(f, ref + 4, 1));
            const size_t at = dataOff + BeAt(f, ref + 5, 3);
            if (nameOff != 0xFFFF) {
                const size_t len = BeAt(f, nameList + nameOff, 1);
                if (len > 0) BeAt(f, nameList + nameOff + len, 1);
                r.Name = std::string(f.begin() + long(nameList + nameOff + 1), f.begin() + long(nameList + nameOff + 1 + len));
            }
            const size_t len = BeAt(f, at, 4);
            if (len > 0) BeAt(f, at + 4 + len - 1, 1);  // throws when the data runs past the end
            r.Data.assign(f.begin() + long(at + 4), f.begin() + long(at + 4 + len));
            out.Resources.push_back(std::move(r));
        }
    }
    return out;
}
}  // namespace forkbytes
