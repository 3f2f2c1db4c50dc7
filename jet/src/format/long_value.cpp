#include "format/long_value.h"

#include <set>

namespace jet::detail {

void LongValueCopies::copy(const PageFile& file, const FormatInfo& f, const ByteRange& field)
{
    if (field.size() >= 12 && (field.u8(3) & 0xC0) == kLongValueInline)
        return;
    try {
        values_.insert_or_assign(field.data(), readLongValue(file, f, field));
    } catch (const Error& e) {
        values_.insert_or_assign(field.data(), e);
    }
}

const std::string* LongValueCopies::find(const uint8_t* field) const
{
    auto it = values_.find(field);
    if (it == values_.end())
        return nullptr;
    if (const Error* e = std::get_if<Error>(&it->second))
        throw *e;
    return &std::get<std::string>(it->second);
}

std::string readLongValue(const PageFile& file, const FormatInfo& f, const ByteRange& field,
                          const LongValueCopies* copies)
{
    if (copies) {
        if (const std::string* copied = copies->find(field.data()))
            return *copied;
    }
    if (field.size() < 12)
        field.corrupt("champ mémo/OLE tronqué (" + std::to_string(field.size()) + " octets)");
    uint32_t header = field.u32(0);
    uint32_t length = header & 0x3FFFFFFF;
    uint8_t kind = uint8_t(header >> 24) & 0xC0;
    std::string out;

    if (kind == kLongValueInline) {
        if (length > field.size() - 12)
            field.corrupt("mémo en ligne plus long que son champ");
        out.assign(reinterpret_cast<const char*>(field.data() + 12), length);
        return out;
    }
    if (length > uint64_t(file.pageCount()) * f.pageSize)
        field.corrupt("longueur de mémo/OLE invalide (" + std::to_string(length) + ")");

    RowPointer where = RowPointer::fromRaw(field.u32(4));
    if (kind == kLongValueSingle) {
        ByteRange data = rowSlotBytes(file, f, where.page, where.row, nullptr, true);
        if (data.size() < length)
            data.corrupt("ligne de mémo/OLE plus courte que la valeur (" + std::to_string(data.size()) + " < " +
                         std::to_string(length) + ")");
        out.assign(reinterpret_cast<const char*>(data.data()), length);
        return out;
    }
    if (kind != 0)
        field.corrupt("type de mémo/OLE inconnu");

    out.reserve(length);
    std::set<std::pair<uint32_t, uint16_t>> seen;
    while (out.size() < length) {
        if (where.page == 0)
            field.corrupt("chaîne de mémo/OLE interrompue (" + std::to_string(out.size()) + " octets sur " +
                          std::to_string(length) + ")");
        if (!seen.insert({where.page, where.row}).second)
            file.corrupt(where.page, "chaîne de pages de mémo/OLE en boucle");
        ByteRange chunk = rowSlotBytes(file, f, where.page, where.row, nullptr, true);
        if (chunk.size() < 4)
            chunk.corrupt("morceau de mémo/OLE tronqué");
        RowPointer next = RowPointer::fromRaw(chunk.u32(0));
        size_t take = std::min<size_t>(chunk.size() - 4, length - out.size());
        out.append(reinterpret_cast<const char*>(chunk.data() + 4), take);
        where = next;
    }
    return out;
}

} // namespace jet::detail
