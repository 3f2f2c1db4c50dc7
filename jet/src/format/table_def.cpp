#include "format/table_def.h"

#include "file/page_store.h"
#include "format/header.h"
#include "format/data_page_writer.h"
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
    while (pos + kLongValueMapEntrySize <= r.size()) {
        const uint16_t number = r.u16(pos + kLongValueMapColumn);
        if (number == kNoColumn)
            break;
        const RowPointer owned = RowPointer::fromRaw(r.u32(pos + kLongValueMapOwned));
        const RowPointer free = RowPointer::fromRaw(r.u32(pos + kLongValueMapFree));
        for (ColumnDef& c : columns)
            if (c.number == number && !owned.null() && !free.null()) {
                c.longValueOwned = owned;
                c.longValueFree = free;
            }
        pos += kLongValueMapEntrySize;
    }
}

void parseTableDef(const FormatInfo& f, const ByteRange& r, uint16_t codePage, TableDef* def)
{
    def->format = &f;
    def->rowCount = r.u32(size_t(f.tdefRowCount));
    def->nextAutonumber = r.u32(size_t(f.tdefNextAutonumber));
    if (f.tdefLastComplexId >= 0)
        def->lastComplexId = r.u32(size_t(f.tdefLastComplexId));
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
        c.extFlags = ext;
        c.codePage = f.colCodePage >= 0 ? r.u16(at + size_t(f.colCodePage)) : 0;
        if (c.codePage == 0)
            c.codePage = codePage;
        c.codePageText = f.jet3;
        // Jet3 stores the order's id alone (2 bytes), then the code page.
        if (c.rawType == uint8_t(ColumnType::Text) || c.rawType == uint8_t(ColumnType::Memo))
            c.sortOrder = f.jet3 ? r.u16(at + size_t(f.colSortOrder)) : r.u32(at + size_t(f.colSortOrder));

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
        PhysicalIndex index;
        for (size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
            const size_t at = pos + size_t(f.realIndexColumns) + 3 * slot;
            uint16_t number = r.u16(at);
            uint8_t order = r.u8(at + 2);
            if (number != kNoColumn)
                index.columns.emplace_back(number, (order & 0x01) != 0);
        }
        index.ownedPages = RowPointer::fromRaw(r.u32(pos + size_t(f.realIndexUsageMap)));
        index.rootPage = r.u32(pos + size_t(f.realIndexFirstPage));
        index.flags = r.u8(pos + size_t(f.realIndexFlags));
        index.rowCountOffset = uint32_t(f.tdefHeaderSize) + i * uint32_t(f.tdefRealIndexEntrySize) +
                               uint32_t(f.tdefRealIndexRowCount);
        def->physicalIndexes.push_back(std::move(index));
        pos += size_t(f.realIndexSize);
    }

    std::vector<uint8_t> indexTypes;
    for (uint32_t i = 0; i < logicalCount; ++i) {
        r.need(pos, size_t(f.logicalIndexSize));
        uint32_t physical = r.u32(pos + size_t(f.logicalIndexPhysical));
        if (physical >= realCount)
            r.corrupt("index " + std::to_string(i) + " : index physique " + std::to_string(physical) + " inexistant");
        def->logicalToPhysical.push_back(int(physical));
        indexTypes.push_back(r.u8(pos + size_t(f.logicalIndexType)));
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
        index.primary = indexTypes[i] == kPrimaryKeyIndex;
        index.foreignKey = indexTypes[i] == kForeignKeyIndex;
        index.unique = index.primary || (physical.flags & kIndexUnique) != 0;
        index.ignoreNulls = (physical.flags & kIndexIgnoreNulls) != 0;
        index.required = (physical.flags & kIndexRequired) != 0;
        def->indexes.push_back(std::move(index));
    }
    readLongValueMaps(r, pos, def->columns);
}

} // namespace

void layOutColumns(const FormatInfo& f, TableDef& def)
{
    uint16_t variable = 0, fixed = 0;
    for (size_t i = 0; i < def.columns.size(); ++i) {
        ColumnDef& c = def.columns[i];
        c.number = uint16_t(i);
        c.varIndex = variable;
        c.fixedOffset = 0;
        if (!(c.flags & kColumnFixed)) {
            ++variable;
        } else if (c.info.type != ColumnType::Boolean) {
            c.fixedOffset = fixed;
            fixed = uint16_t(fixed + fixedSize(c));
        }
        c.fixedBytes = uint16_t(fixedSize(c));
        c.rowOffset = uint32_t(f.fixedDataRowOffset) + c.fixedOffset;
    }
    def.maxColumns = uint16_t(def.columns.size());
    def.varColumnCount = variable;
}

namespace {

using writer::wr16;
using writer::wr32;

// Appends a zeroed block of `size` bytes; returns its start (valid until
// the next append).
uint8_t* appendBlock(std::vector<uint8_t>& d, int size)
{
    d.resize(d.size() + size_t(size), 0);
    return d.data() + d.size() - size_t(size);
}

void putStamp(uint8_t* block, int offset, uint32_t stamp)
{
    if (offset >= 0)
        wr32(block + offset, stamp);
}

void appendName(const FormatInfo& f, std::vector<uint8_t>& d, const std::string& utf8)
{
    std::vector<uint8_t> text;
    if (f.jet3) { // one length byte, the name in code page 1252
        std::string missing;
        if (!encodeCodePageText(utf8, 1252, text, missing) || text.size() > 255)
            throw Error(Code::InvalidValue,
                        "le nom « " + utf8 + " » ne peut pas être écrit dans une base Access 97 (page de codes 1252)");
        appendBlock(d, 1)[0] = uint8_t(text.size());
        d.insert(d.end(), text.begin(), text.end());
        return;
    }
    text = encodeUnicodeText(utf8, false);
    uint8_t* length = appendBlock(d, f.nameLengthSize);
    wr16(length, uint16_t(text.size()));
    d.insert(d.end(), text.begin(), text.end());
}

void appendColumn(const FormatInfo& f, std::vector<uint8_t>& d, const ColumnDef& c)
{
    uint8_t* b = appendBlock(d, f.columnDescriptorSize);
    b[f.colType] = c.rawType;
    putStamp(b, f.colStamp, kDefinitionStamp);
    wr16(b + f.colNumber, c.number);
    wr16(b + f.colVarIndex, c.varIndex);
    wr16(b + f.colRowNumber, c.number);
    if (c.info.type == ColumnType::Numeric) {
        b[f.colPrecision] = uint8_t(c.info.precision);
        b[f.colScale] = uint8_t(c.info.scale);
    } else if (f.jet3) {
        if (c.info.type == ColumnType::Text || c.info.type == ColumnType::Memo) {
            wr16(b + f.colSortOrder, c.sortOrder & 0xFFFF);
            wr16(b + f.colCodePage, c.codePage);
        }
    } else {
        wr32(b + f.colSortOrder, c.sortOrder);
    }
    b[f.colFlags] = c.flags;
    if (f.colExtFlags >= 0)
        b[f.colExtFlags] = c.extFlags;
    wr16(b + f.colFixedOffset, c.fixedOffset);
    wr16(b + f.colLength, c.length);
}

void appendPhysicalIndex(const FormatInfo& f, std::vector<uint8_t>& d, const PhysicalIndex& x)
{
    uint8_t* b = appendBlock(d, f.realIndexSize);
    putStamp(b, f.realIndexStamp, kIndexStamp);
    for (size_t slot = 0; slot < kIndexColumnSlots; ++slot) {
        uint8_t* at = b + f.realIndexColumns + 3 * slot;
        const bool used = slot < x.columns.size();
        wr16(at, used ? x.columns[slot].first : kNoColumn);
        at[2] = used && x.columns[slot].second ? 0x01 : 0x00;
    }
    wr32(b + f.realIndexUsageMap, x.ownedPages.raw());
    wr32(b + f.realIndexFirstPage, x.rootPage);
    b[f.realIndexFlags] = x.flags;
}

// Logical index `i`: it takes the number of the physical index it uses.
void appendLogicalIndex(const FormatInfo& f, std::vector<uint8_t>& d, const TableDef& def, size_t i)
{
    const IndexInfo& index = def.indexes[i];
    const uint32_t physical = uint32_t(def.logicalToPhysical[i]);
    uint8_t* b = appendBlock(d, f.logicalIndexSize);
    putStamp(b, f.logicalIndexStamp, kDefinitionStamp);
    wr32(b + f.logicalIndexNumber, physical);
    wr32(b + f.logicalIndexPhysical, physical);
    wr32(b + f.logicalIndexRelated, 0xFFFFFFFF);
    b[f.logicalIndexCascade] = 0x04;
    b[f.logicalIndexCascade + 1] = 0x04;
    b[f.logicalIndexType] = index.primary ? kPrimaryKeyIndex : index.foreignKey ? kForeignKeyIndex : 0;
}

} // namespace

std::vector<uint8_t> encodeTableDef(const FormatInfo& f, const TableDef& def)
{
    std::vector<uint8_t> d;
    d.reserve(f.pageSize);
    uint8_t* h = appendBlock(d, f.tdefHeaderSize);
    h[0] = kTableDefinitionPage;
    h[1] = 0x01;
    putStamp(h, f.tdefStamp, kDefinitionStamp);
    wr32(h + f.tdefRowCount, def.rowCount);
    wr32(h + f.tdefNextAutonumber, def.nextAutonumber);
    if (f.tdefAutonumberOn >= 0)
        h[f.tdefAutonumberOn] = 0x01;
    h[f.tdefTableType] = def.system ? kSystemTableType : kUserTableType;
    wr16(h + f.tdefMaxColumns, def.maxColumns);
    wr16(h + f.tdefVarColumns, def.varColumnCount);
    wr16(h + f.tdefColumnCount, uint16_t(def.columns.size()));
    wr32(h + f.tdefLogicalIndexCount, uint32_t(def.indexes.size()));
    wr32(h + f.tdefRealIndexCount, uint32_t(def.physicalIndexes.size()));
    wr32(h + f.tdefOwnedPagesMap, def.ownedPages.raw());
    wr32(h + f.tdefFreeSpaceMap, def.freeSpacePages.raw());
    // The entry counts of the physical indexes start at 0; the index writer
    // keeps them.
    appendBlock(d, int(def.physicalIndexes.size()) * f.tdefRealIndexEntrySize);

    for (const ColumnDef& c : def.columns)
        appendColumn(f, d, c);
    for (const ColumnDef& c : def.columns)
        appendName(f, d, c.info.name);
    for (const PhysicalIndex& x : def.physicalIndexes)
        appendPhysicalIndex(f, d, x);
    for (size_t i = 0; i < def.indexes.size(); ++i)
        appendLogicalIndex(f, d, def, i);
    for (const IndexInfo& index : def.indexes)
        appendName(f, d, index.name);
    for (const ColumnDef& c : def.columns) {
        if (!c.isLongValue())
            continue;
        uint8_t* b = appendBlock(d, kLongValueMapEntrySize);
        wr16(b + kLongValueMapColumn, c.number);
        wr32(b + kLongValueMapOwned, c.longValueOwned.raw());
        wr32(b + kLongValueMapFree, c.longValueFree.raw());
    }
    wr16(appendBlock(d, 2), kNoColumn);

    if (d.size() > f.pageSize)
        throw Error(Code::Unsupported, "définition de table trop longue pour une page");
    wr32(d.data() + f.tdefLength, uint32_t(d.size()));
    wr16(d.data() + f.tdefFreeSpace, uint16_t(f.pageSize - d.size() - 8));
    d.resize(f.pageSize, 0);
    return d;
}

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
    parseTableDef(f, r, f.jet3 ? headerCodePage(f, txn.page(0)) : 0, &def);
    return def;
}

} // namespace jet::detail
