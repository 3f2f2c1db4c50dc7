#include "format/table_def.h"

#include "file/page_store.h"
#include "format/row_codec.h"
#include "format/text.h"

#include <algorithm>
#include <unordered_set>

namespace jet::detail {

bool sameColumnName(const std::string& a, const std::string& b)
{
    return compareIgnoringCase(a, b) == 0;
}

int TableDef::columnIndex(const std::string& wanted) const
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (sameColumnName(columns[i].info.name, wanted))
            return int(i);
    }
    return -1;
}

TableInfo TableDef::info() const
{
    TableInfo t;
    t.name = name;
    t.system = system;
    for (const ColumnDef& c : columns)
        t.columns.push_back(c.info);
    t.indexes = indexes;
    t.rowCount = rowCount;
    t.nextAutonumber = nextAutonumber;
    t.definitionPage = page;
    return t;
}

namespace {

// The whole definition, its continuation pages appended without their
// 8-byte headers. `pageAt(n)` returns page n (checked against the file's
// end); `corrupt(n, what)` throws.
template <class PageAt, class Corrupt>
std::vector<uint8_t> loadDefinition(const FormatInfo& f, uint32_t first, PageAt pageAt, Corrupt corrupt)
{
    std::vector<uint8_t> buffer;
    std::unordered_set<uint32_t> seen;
    uint32_t page = first;
    while (page != 0) {
        if (!seen.insert(page).second)
            corrupt(page, "chaîne de pages de définition de table en boucle");
        const uint8_t* bytes = pageAt(page);
        if (bytes[0] != kTableDefinitionPage)
            corrupt(page, "page de définition de table attendue (type " + std::to_string(bytes[0]) + ")");
        if (buffer.empty())
            buffer.assign(bytes, bytes + f.pageSize);
        else
            buffer.insert(buffer.end(), bytes + 8, bytes + f.pageSize);
        page = le32(bytes + f.tdefNextPage);
    }
    return buffer;
}

std::vector<uint8_t> loadDefinition(const PageFile& file, const FormatInfo& f, uint32_t first)
{
    return loadDefinition(
        f, first, [&](uint32_t n) { return file.page(n); },
        [&](uint32_t n, const std::string& what) { file.corrupt(n, what); });
}

const FormatInfo& formatOf(writer::Transaction& txn)
{
    const FormatInfo* f = formatForVersion(txn.version(), txn.version() >= 2);
    if (!f || f->pageSize != txn.pageSize())
        throw Error(Code::Unsupported, "version de format " + std::to_string(txn.version()) + " non prise en charge");
    return *f;
}

std::string readName(const FormatInfo& f, const ByteRange& r, size_t& pos, uint16_t codePage)
{
    size_t length = f.nameLengthSize == 1 ? r.u8(pos) : r.u16(pos);
    pos += size_t(f.nameLengthSize);
    r.need(pos, length);
    std::string name;
    if (f.jet3)
        name = decodeCodePageText(r.data() + pos, length, codePage);
    else
        name = decodeUnicodeText(r.data() + pos, length);
    pos += length;
    return name;
}

bool knownType(uint8_t t)
{
    return (t >= 0x01 && t <= 0x0C) || t == 0x0F || t == 0x10 || t == 0x12 || t == 0x13 || t == 0x14;
}

// The usage maps of Memo/OLE columns that have their own, after the index
// names: (column number, owned pages, free space) until 0xFFFF.
void readLongValueMaps(const ByteRange& r, size_t pos, std::vector<ColumnDef>& columns)
{
    while (pos + 10 <= r.size()) {
        const uint16_t number = r.u16(pos);
        if (number == 0xFFFF)
            break;
        const RowPointer owned = RowPointer::fromRaw(r.u32(pos + 2));
        const RowPointer free = RowPointer::fromRaw(r.u32(pos + 6));
        for (ColumnDef& c : columns)
            if (c.number == number && !owned.null() && !free.null()) {
                c.longValueOwned = owned;
                c.longValueFree = free;
            }
        pos += 10;
    }
}

void parseTableDef(const FormatInfo& f, const ByteRange& r, uint16_t codePage, TableDef* def)
{
    def->format = &f;
    def->rowCount = r.u32(size_t(f.tdefRowCount));
    def->nextAutonumber = r.u32(size_t(f.tdefNextAutonumber));
    def->maxColumns = r.u16(size_t(f.tdefMaxColumns));
    def->varColumnCount = r.u16(size_t(f.tdefVarColumns));
    uint16_t columnCount = r.u16(size_t(f.tdefColumnCount));
    uint32_t logicalCount = r.u32(size_t(f.tdefLogicalIndexCount));
    uint32_t realCount = r.u32(size_t(f.tdefRealIndexCount));
    def->ownedPages = RowPointer::fromRaw(r.u32(size_t(f.tdefOwnedPagesMap)));
    def->freeSpacePages = RowPointer::fromRaw(r.u32(size_t(f.tdefFreeSpaceMap)));
    if (columnCount > 4096 || logicalCount > 1000 || realCount > 1000 || realCount > logicalCount + 1000)
        r.corrupt("définition de table invalide (" + std::to_string(columnCount) + " colonnes, " +
                  std::to_string(logicalCount) + " index)");

    size_t pos = size_t(f.tdefHeaderSize) + size_t(realCount) * size_t(f.tdefRealIndexEntrySize);
    const size_t descriptors = pos;
    r.need(descriptors, size_t(columnCount) * size_t(f.columnDescriptorSize));
    pos += size_t(columnCount) * size_t(f.columnDescriptorSize);

    std::vector<std::string> names;
    for (uint16_t i = 0; i < columnCount; ++i)
        names.push_back(readName(f, r, pos, codePage));

    for (uint16_t i = 0; i < columnCount; ++i) {
        size_t at = descriptors + size_t(i) * size_t(f.columnDescriptorSize);
        ColumnDef c;
        c.rawType = r.u8(at + size_t(f.colType));
        c.number = r.u16(at + size_t(f.colNumber));
        c.varIndex = r.u16(at + size_t(f.colVarIndex));
        c.fixedOffset = r.u16(at + size_t(f.colFixedOffset));
        c.length = r.u16(at + size_t(f.colLength));
        uint8_t flags = r.u8(at + size_t(f.colFlags));
        uint8_t ext = f.colExtFlags >= 0 ? r.u8(at + size_t(f.colExtFlags)) : 0;
        c.flags = flags;
        c.codePage = f.colCodePage >= 0 ? r.u16(at + size_t(f.colCodePage)) : 0;
        if (c.codePage == 0)
            c.codePage = codePage;
        if (!f.jet3 && (c.rawType == uint8_t(ColumnType::Text) || c.rawType == uint8_t(ColumnType::Memo)))
            c.sortOrder = r.u32(at + size_t(f.colSortOrder));

        ColumnInfo& info = c.info;
        info.name = names[i];
        info.type = knownType(c.rawType) ? ColumnType(c.rawType) : ColumnType::Complex;
        info.typeCode = c.rawType;
        c.calculated = (ext & 0xC0) != 0;
        info.number = c.number;
        info.size = c.length;
        info.fixed = (flags & kColumnFixed) != 0;
        info.nullable = (flags & kColumnNullable) != 0;
        info.autonumber = ((flags & kColumnAutonumber) && info.type == ColumnType::Long) ||
                          ((flags & kColumnAutoGuid) && info.type == ColumnType::Guid);
        info.hyperlink = (flags & kColumnHyperlink) != 0;
        info.compressedUnicode = (ext & kColumnExtCompressed) != 0;
        if (info.type == ColumnType::Text)
            info.maxChars = f.jet3 ? c.length : c.length / 2;
        if (info.type == ColumnType::Numeric) {
            info.precision = r.u8(at + size_t(f.colPrecision));
            info.scale = r.u8(at + size_t(f.colScale));
        }
        if (info.type == ColumnType::Boolean)
            info.nullable = false;
        c.fixedBytes = uint16_t(fixedSize(c));
        c.rowOffset = uint32_t(f.fixedDataRowOffset) + c.fixedOffset;
        def->columns.push_back(std::move(c));
    }
    std::stable_sort(def->columns.begin(), def->columns.end(),
                     [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });

    // Physical indexes: up to ten (column, order) slots each.
    for (uint32_t i = 0; i < realCount; ++i) {
        r.need(pos, size_t(f.realIndexSize));
        size_t at = pos + size_t(f.realIndexSkipBefore);
        PhysicalIndex index;
        for (int slot = 0; slot < 10; ++slot) {
            uint16_t number = r.u16(at);
            uint8_t order = r.u8(at + 2);
            at += 3;
            if (number != 0xFFFF)
                index.columns.emplace_back(number, (order & 0x01) != 0);
        }
        index.ownedPages = RowPointer::fromRaw(r.u32(at));
        index.rootPage = r.u32(at + 4);
        index.flags = r.u8(at + 8 + size_t(f.realIndexSkipBeforeFlags));
        index.rowCountOffset = uint32_t(f.tdefHeaderSize) + i * uint32_t(f.tdefRealIndexEntrySize) +
                               uint32_t(f.tdefRealIndexRowCount);
        def->physicalIndexes.push_back(std::move(index));
        pos += size_t(f.realIndexSize);
    }

    std::vector<uint8_t> indexTypes;
    for (uint32_t i = 0; i < logicalCount; ++i) {
        r.need(pos, size_t(f.logicalIndexSize));
        size_t at = pos + size_t(f.logicalIndexSkipBefore);
        uint32_t physical = r.u32(at + 4);
        if (physical >= realCount)
            r.corrupt("index " + std::to_string(i) + " : index physique " + std::to_string(physical) + " inexistant");
        def->logicalToPhysical.push_back(int(physical));
        indexTypes.push_back(r.u8(at + 8 + 1 + 4 + 4 + 1 + 1));
        pos += size_t(f.logicalIndexSize);
    }
    for (uint32_t i = 0; i < logicalCount; ++i) {
        IndexInfo index;
        index.name = readName(f, r, pos, codePage);
        const PhysicalIndex& physical = def->physicalIndexes[size_t(def->logicalToPhysical[i])];
        for (auto [number, ascending] : physical.columns) {
            IndexColumn column;
            for (const ColumnDef& c : def->columns) {
                if (c.number == number)
                    column.column = c.info.name;
            }
            if (column.column.empty())
                r.corrupt("index " + index.name + " : colonne " + std::to_string(number) + " inexistante");
            column.ascending = ascending;
            index.columns.push_back(column);
        }
        index.primary = indexTypes[i] == 0x01;
        index.foreignKey = indexTypes[i] == 0x02;
        index.unique = index.primary || (physical.flags & 0x01) != 0;
        index.ignoreNulls = (physical.flags & 0x02) != 0;
        index.required = (physical.flags & 0x08) != 0;
        def->indexes.push_back(std::move(index));
    }
    readLongValueMaps(r, pos, def->columns);
}

} // namespace

std::shared_ptr<const TableDef> readTableDef(const PageFile& file, const FormatInfo& f, uint32_t page,
                                             const std::string& name, bool system, uint16_t codePage)
{
    std::vector<uint8_t> buffer = loadDefinition(file, f, page);
    auto def = std::make_shared<TableDef>();
    def->name = name;
    def->page = page;
    def->system = system;
    parseTableDef(f, ByteRange(file, page, buffer.data(), buffer.size()), codePage, def.get());
    return def;
}

std::vector<uint8_t> definitionBytes(writer::Transaction& txn, uint32_t page)
{
    auto corrupt = [](uint32_t n, const std::string& what) {
        throw Error(Code::Corrupt, "page " + std::to_string(n) + " : " + what);
    };
    return loadDefinition(
        formatOf(txn), page,
        [&](uint32_t n) {
            if (n >= txn.pageCount())
                corrupt(n, "au-delà de la fin du fichier (" + std::to_string(txn.pageCount()) + " pages)");
            return txn.page(n);
        },
        corrupt);
}

TableDef readTableDef(writer::Transaction& txn, uint32_t page)
{
    const FormatInfo& f = formatOf(txn);
    std::vector<uint8_t> buffer = definitionBytes(txn, page);
    TableDef def;
    def.page = page;
    ByteRange r(page, buffer.data(), buffer.size());
    def.system = r.u8(size_t(f.tdefTableType)) == kSystemTableType;
    parseTableDef(f, r, 0, &def);
    return def;
}

} // namespace jet::detail
