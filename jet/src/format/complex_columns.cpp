#include "format/complex_columns.h"

#include "format/inflate.h"
#include "format/row_codec.h"
#include "format/table_scan.h"
#include "format/text.h"

namespace jet::detail {

namespace {

// Every row of a table, the values of the named columns (Null where a
// column is missing).
std::vector<std::vector<Value>> rowsOf(const PageFile& file, const FormatInfo& f, const TableDef& def,
                                       const std::vector<std::string>& names)
{
    std::vector<const ColumnDef*> wanted;
    for (const std::string& name : names) {
        const int i = def.columnIndex(name);
        wanted.push_back(i < 0 ? nullptr : &def.columns[size_t(i)]);
    }
    std::vector<std::vector<Value>> rows;
    RowReader reader(file, f, def);
    scanTable(file, f, def, [&](RowPointer where) {
        ByteRange row(file, where.page, nullptr, 0);
        if (!rowData(file, f, where, row))
            return;
        reader.load(row);
        std::vector<Value> values;
        for (const ColumnDef* c : wanted)
            values.push_back(c ? reader.value(*c) : Value());
        rows.push_back(std::move(values));
    });
    return rows;
}

const CatalogEntry* entryNamed(const std::vector<CatalogEntry>& catalog, const std::string& name)
{
    for (const CatalogEntry& e : catalog) {
        if (compareIgnoringCase(e.name, name) == 0)
            return &e;
    }
    return nullptr;
}

const CatalogEntry* entryAt(const std::vector<CatalogEntry>& catalog, int64_t id)
{
    for (const CatalogEntry& e : catalog) {
        if (e.definitionPage == (uint32_t(id) & 0x00FFFFFF))
            return &e;
    }
    return nullptr;
}

struct ComplexColumnEntry {
    const CatalogEntry* flatTable = nullptr;
    const CatalogEntry* typeTable = nullptr;
};

// MSysComplexColumns' row for a column of the table at `page`.
ComplexColumnEntry entryFor(const PageFile& file, const FormatInfo& f, const std::vector<CatalogEntry>& catalog,
                            const DefinitionOf& definition, uint32_t page, const std::string& column)
{
    ComplexColumnEntry found;
    const CatalogEntry* list = entryNamed(catalog, "MSysComplexColumns");
    if (!list)
        return found;
    for (const auto& row : rowsOf(file, f, *definition(*list),
                                  {"ColumnName", "ConceptualTableID", "FlatTableID", "ComplexTypeObjectID"})) {
        if (row[0].kind() != Value::Kind::Text || row[1].kind() != Value::Kind::Int ||
            (uint32_t(row[1].asInt()) & 0x00FFFFFF) != page || compareIgnoringCase(row[0].asText(), column) != 0)
            continue;
        if (row[2].kind() == Value::Kind::Int)
            found.flatTable = entryAt(catalog, row[2].asInt());
        if (row[3].kind() == Value::Kind::Int)
            found.typeTable = entryAt(catalog, row[3].asInt());
    }
    return found;
}

// The kind, by the columns of the type table: an attachment's file columns,
// a version history's memo and date, a multi-valued field's single value.
ComplexKind kindOf(const TableDef& type)
{
    if (type.columnIndex("FileData") >= 0 && type.columnIndex("FileName") >= 0)
        return ComplexKind::Attachment;
    bool memo = false, date = false;
    for (const ColumnDef& c : type.columns) {
        memo = memo || c.info.type == ColumnType::Memo;
        date = date || c.info.type == ColumnType::DateTime;
    }
    if (type.columns.size() == 2 && memo && date)
        return ComplexKind::VersionHistory;
    if (type.columns.size() == 1)
        return ComplexKind::MultiValue;
    return ComplexKind::Unknown;
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

} // namespace

void describeComplexColumns(const PageFile& file, const FormatInfo& f, const std::vector<CatalogEntry>& catalog,
                            const DefinitionOf& definition, TableDef& def)
{
    for (ColumnDef& c : def.columns) {
        if (c.rawType != uint8_t(ColumnType::Complex))
            continue;
        const ComplexColumnEntry entry = entryFor(file, f, catalog, definition, def.page, c.info.name);
        c.info.complex = entry.typeTable ? kindOf(*definition(*entry.typeTable)) : ComplexKind::Unknown;
    }
}

std::vector<uint8_t> attachmentFileBytes(const PageFile& file, uint32_t page, const std::vector<uint8_t>& stored)
{
    auto bad = [&](const std::string& why) -> std::vector<uint8_t> {
        file.corrupt(page, "pièce jointe : " + why);
    };
    if (stored.size() < 8)
        return bad("données de " + std::to_string(stored.size()) + " octets");
    const uint32_t flag = u32At(stored, 0), length = u32At(stored, 4);
    std::vector<uint8_t> content;
    if (flag == 1) {
        std::optional<std::vector<uint8_t>> inflated = inflateZlib(stored.data() + 8, stored.size() - 8, length);
        if (!inflated)
            return bad("données compressées illisibles");
        content = std::move(*inflated);
    } else if (flag == 0) {
        content.assign(stored.begin() + 8, stored.end());
    } else {
        return bad("marque de compression inconnue (" + std::to_string(flag) + ")");
    }
    if (content.size() != length || content.size() < 8)
        return bad("longueur " + std::to_string(content.size()) + " au lieu de " + std::to_string(length));
    const uint32_t header = u32At(content, 0);
    if (header < 8 || header > content.size())
        return bad("en-tête de " + std::to_string(header) + " octets");
    return std::vector<uint8_t>(content.begin() + header, content.end());
}

std::vector<Attachment> readAttachments(const PageFile& file, const FormatInfo& f,
                                        const std::vector<CatalogEntry>& catalog, const DefinitionOf& definition,
                                        const TableDef& def, const ColumnDef& column)
{
    if (column.info.complex != ComplexKind::Attachment)
        throw Error(Code::InvalidValue, "la colonne « " + column.info.name + " » n'est pas une colonne de pièces jointes");
    const ComplexColumnEntry entry = entryFor(file, f, catalog, definition, def.page, column.info.name);
    if (!entry.flatTable)
        file.corrupt(def.page, "colonne « " + column.info.name + " » : table des pièces jointes introuvable");
    const auto flat = definition(*entry.flatTable);
    std::vector<Attachment> out;
    for (auto& row : rowsOf(file, f, *flat, {"_" + column.info.name, "FileName", "FileType", "FileData"})) {
        if (row[0].kind() != Value::Kind::Int)
            continue;
        Attachment a;
        a.complexId = row[0].asInt();
        if (row[1].kind() == Value::Kind::Text)
            a.fileName = row[1].asText();
        if (row[2].kind() == Value::Kind::Text)
            a.fileType = row[2].asText();
        if (row[3].kind() == Value::Kind::Binary)
            a.data = attachmentFileBytes(file, flat->page, row[3].asBinary());
        out.push_back(std::move(a));
    }
    return out;
}

} // namespace jet::detail
