#include "platform/ResourceFork.h"

#include <algorithm>
#include <utility>

namespace {
constexpr uint64_t cMapHeaderBytes = 28;  // header copy, next map, file ref, attributes, two offsets
constexpr uint64_t cTypeEntryBytes = 8;
constexpr uint64_t cRefEntryBytes = 12;
constexpr uint16_t cNoName = 0xFFFF;

// Bounds-checked big-endian reads: every access of the parser goes through here.
struct Reader {
    const uint8_t* bytes;
    uint64_t length;
    bool Has(uint64_t at, uint64_t n) const { return at <= length && n <= length - at; }
    uint32_t U(uint64_t at, int n) const {
        uint32_t v = 0;
        for (int i = 0; i < n; i++) v = (v << 8) | bytes[at + uint64_t(i)];
        return v;
    }
};

// A half-open byte range [Begin, End).
struct Span {
    uint64_t Begin, End;
    bool operator<(const Span& o) const { return Begin < o.Begin || (Begin == o.Begin && End < o.End); }
};
bool Overlap(std::vector<Span>& spans) {
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); i++)
        if (spans[i].Begin < spans[i - 1].End) return true;
    return false;
}

void Put(std::vector<uint8_t>& out, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; i--) out.push_back(uint8_t(v >> (8 * i)));
}
void PutAt(std::vector<uint8_t>& out, size_t at, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; i--, v >>= 8) out[at + size_t(i)] = uint8_t(v);
}

bool Parse(const Reader& r, ResourceForkImage& out) {
    if (!r.Has(0, 16)) return false;
    const uint64_t dataOff = r.U(0, 4), mapOff = r.U(4, 4), dataLen = r.U(8, 4), mapLen = r.U(12, 4);
    if (!r.Has(dataOff, dataLen) || !r.Has(mapOff, mapLen) || mapLen < cMapHeaderBytes + 2) return false;
    const Reader map{r.bytes + mapOff, mapLen};

    out.Attributes = uint16_t(map.U(22, 2));
    const uint64_t typeList = map.U(24, 2), nameList = map.U(26, 2);
    if (!map.Has(typeList, 2)) return false;
    const uint64_t typeCount = (map.U(typeList, 2) + 1) & 0xFFFF;  // stored as count - 1; 0xFFFF is none
    if (!map.Has(typeList + 2, typeCount * cTypeEntryBytes)) return false;

    // The map's header, its type list and every reference list occupy distinct bytes of the map,
    // and every data block distinct bytes of the data section. The running sums stop a file that
    // claims more than it holds before the work grows past its size; the overlap check at the end
    // refuses the rest.
    uint64_t refsClaimed = 0, dataClaimed = 0;
    std::vector<Span> mapSpans = {{0, cMapHeaderBytes}, {typeList, typeList + 2 + typeCount * cTypeEntryBytes}};
    std::vector<Span> dataSpans;
    for (uint64_t t = 0; t < typeCount; t++) {
        const uint64_t entry = typeList + 2 + t * cTypeEntryBytes;
        const OSType type = map.U(entry, 4);
        const uint64_t count = uint64_t(map.U(entry + 4, 2)) + 1;
        const uint64_t refs = typeList + map.U(entry + 6, 2);
        refsClaimed += count;
        if (refsClaimed * cRefEntryBytes > mapLen || !map.Has(refs, count * cRefEntryBytes)) return false;
        mapSpans.push_back({refs, refs + count * cRefEntryBytes});

        for (uint64_t i = 0; i < count; i++) {
            const uint64_t ref = refs + i * cRefEntryBytes;
            ResourceEntry res;
            res.Type = type;
            res.ID = int16_t(map.U(ref, 2));
            const uint16_t nameOff = uint16_t(map.U(ref + 2, 2));
            res.Attributes = uint8_t(map.U(ref + 4, 1) & ~resChanged);
            const uint64_t at = map.U(ref + 5, 3);

            res.HasName = nameOff != cNoName;
            if (res.HasName) {
                const uint64_t name = nameList + nameOff;
                if (!map.Has(name, 1) || !map.Has(name + 1, map.U(name, 1))) return false;
                res.Name.assign(reinterpret_cast<const char*>(map.bytes + name + 1), map.U(name, 1));
            }
            if (at > dataLen || dataLen - at < 4) return false;
            const uint64_t size = r.U(dataOff + at, 4);
            dataClaimed += 4 + size;
            if (dataClaimed > dataLen || size > dataLen - at - 4) return false;
            dataSpans.push_back({at, at + 4 + size});
            res.Data.assign(r.bytes + dataOff + at + 4, r.bytes + dataOff + at + 4 + size);
            out.Entries.push_back(std::move(res));
        }
    }

    if (Overlap(mapSpans) || Overlap(dataSpans)) return false;
    std::vector<std::pair<OSType, int16_t>> keys;
    keys.reserve(out.Entries.size());
    for (const ResourceEntry& e : out.Entries) keys.emplace_back(e.Type, e.ID);
    std::sort(keys.begin(), keys.end());
    return std::adjacent_find(keys.begin(), keys.end()) == keys.end();
}
}  // namespace

bool ParseResourceFork(const uint8_t* bytes, size_t length, ResourceForkImage& out) {
    out = ResourceForkImage{};
    if (!bytes || length > cMaxResourceForkBytes) return false;
    if (Parse(Reader{bytes, length}, out)) return true;
    out = ResourceForkImage{};
    return false;
}

bool WriteResourceFork(const ResourceForkImage& fork, std::vector<uint8_t>& out) {
    out.clear();
    // Group by type, keeping the order in which types and resources first appear.
    std::vector<OSType> types;
    for (const ResourceEntry& e : fork.Entries)
        if (std::find(types.begin(), types.end(), e.Type) == types.end()) types.push_back(e.Type);
    std::vector<const ResourceEntry*> order;
    for (OSType t : types)
        for (const ResourceEntry& e : fork.Entries)
            if (e.Type == t) order.push_back(&e);

    std::vector<std::pair<OSType, int16_t>> keys;
    for (const ResourceEntry* e : order) keys.emplace_back(e->Type, e->ID);
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) != keys.end() || types.size() > 0x10000) return false;

    std::vector<uint8_t> data, refs, names;
    std::vector<uint8_t> typeList;
    Put(typeList, uint32_t(types.size() - 1) & 0xFFFF, 2);
    const uint64_t refListStart = 2 + types.size() * cTypeEntryBytes;
    size_t next = 0;
    for (OSType t : types) {
        const size_t first = next;
        while (next < order.size() && order[next]->Type == t) next++;
        const uint64_t refOff = refListStart + refs.size();
        if (next - first > 0x10000 || refOff > 0xFFFF) return false;
        Put(typeList, t, 4);
        Put(typeList, uint32_t(next - first - 1), 2);
        Put(typeList, uint32_t(refOff), 2);
        for (size_t i = first; i < next; i++) {
            const ResourceEntry& e = *order[i];
            if (data.size() > 0xFFFFFF || e.Data.size() > 0xFFFFFFFFu || e.Name.size() > 255) return false;
            uint32_t nameOff = cNoName;
            if (e.HasName) {
                if (names.size() >= cNoName) return false;
                nameOff = uint32_t(names.size());
                names.push_back(uint8_t(e.Name.size()));
                names.insert(names.end(), e.Name.begin(), e.Name.end());
            }
            Put(refs, uint16_t(e.ID), 2);
            Put(refs, nameOff, 2);
            Put(refs, e.Attributes & ~resChanged, 1);
            Put(refs, uint32_t(data.size()), 3);
            Put(refs, 0, 4);
            Put(data, uint32_t(e.Data.size()), 4);
            data.insert(data.end(), e.Data.begin(), e.Data.end());
        }
    }
    const uint64_t nameListOff = cMapHeaderBytes + typeList.size() + refs.size();
    const uint64_t mapLen = nameListOff + names.size();
    const uint64_t mapOff = cResourceHeaderBytes + data.size();
    if (nameListOff > 0xFFFF || mapOff + mapLen > cMaxResourceForkBytes) return false;

    out.assign(cResourceHeaderBytes, 0);
    PutAt(out, 0, uint32_t(cResourceHeaderBytes), 4);
    PutAt(out, 4, uint32_t(mapOff), 4);
    PutAt(out, 8, uint32_t(data.size()), 4);
    PutAt(out, 12, uint32_t(mapLen), 4);
    out.insert(out.end(), data.begin(), data.end());
    const std::vector<uint8_t> header(out.begin(), out.begin() + 16);
    out.insert(out.end(), header.begin(), header.end());  // the map opens with a copy of the header
    Put(out, 0, 4);                                       // next map handle
    Put(out, 0, 2);                                       // file reference
    Put(out, fork.Attributes & ~mapChanged, 2);
    Put(out, uint32_t(cMapHeaderBytes), 2);
    Put(out, uint32_t(nameListOff), 2);
    out.insert(out.end(), typeList.begin(), typeList.end());
    out.insert(out.end(), refs.begin(), refs.end());
    out.insert(out.end(), names.begin(), names.end());
    return true;
}
