// New databases, written from nothing (Jet4, or Access 97's Jet3): the
// header, the global page map,
// the four system tables (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships) with their usage maps and indexes, and the catalog and
// permission rows that Access and other Jet readers expect; and new tables,
// with their indexes, added to the catalog of an open file.
#include "table/catalog_writer.h"
#include "table/new_table_indexes.h"
#include "format/data_page_writer.h"
#include "database/database_writer.h"
#include "format/header.h"
#include "index/index_rebuild.h"
#include "file/os_file.h"
#include "file/system_error.h"
#include "table/table_writer.h"
#include "format/row_codec.h"
#include "format/table_def.h"
#include "format/usage_map.h"
#include "index/index_page.h"
#include "jet/status.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <unistd.h> // write(): the C runtime's on Windows, in binary mode there (os_file.h)

namespace jet::writer {

namespace {

using detail::ColumnDef;
using detail::PhysicalIndex;
using detail::RowPointer;
using detail::TableDef;

constexpr uint32_t kTablesContainer = 0x0F000001;
constexpr uint32_t kDatabasesContainer = 0x0F000002;
constexpr uint32_t kRelationshipsContainer = 0x0F000003;
constexpr uint32_t kRootContainer = 0x0F000000;
constexpr uint32_t kMSysDb = 0x10000000;
constexpr uint32_t kSystemObject = 0x80000000;
constexpr uint32_t kGeneralSortOrder = 0x0409;

// Owners of objects, as security identifiers of the default workgroup.
const std::vector<uint8_t> kAdminSid = {0xA6, 0x33};
const std::vector<uint8_t> kUsersSid = {0xA7, 0x33};
const std::vector<uint8_t> kCreatorSid = {0xA7, 0x31};
const std::vector<uint8_t> kOwnerSid = {0xA7, 0x36};

const detail::FormatInfo& newFileFormat() { return detail::formatInfo(Format::Jet4); }

// Columns are made as for a Jet4 file; a Jet3 one keeps text in code page
// 1252, one byte a character, with the order's id and the code page in the
// descriptor. Lays the columns out for the format.
void adaptColumns(const detail::FormatInfo& f, TableDef& t)
{
    if (f.jet3) {
        for (ColumnDef& c : t.columns) {
            c.extFlags = 0;
            c.info.compressedUnicode = false;
            if (c.info.type == ColumnType::Text) {
                c.length = uint16_t(c.info.maxChars);
                c.info.size = c.length;
            }
            if (c.info.type == ColumnType::Text || c.info.type == ColumnType::Memo) {
                c.codePage = 1252;
                c.codePageText = true;
            }
        }
    }
    detail::layOutColumns(f, t);
}

bool variableType(ColumnType t)
{
    return t == ColumnType::Text || t == ColumnType::Memo || t == ColumnType::OLE || t == ColumnType::Binary;
}

// A column of a new table, before layOutColumns() places it.
ColumnDef column(const std::string& name, ColumnType type, bool system, int maxChars = 255)
{
    ColumnDef c;
    c.info.name = name;
    c.info.type = type;
    c.info.typeCode = uint8_t(type);
    c.rawType = uint8_t(type);
    const bool variable = variableType(type);
    c.flags = variable ? detail::kColumnNullable : detail::kColumnFixed | detail::kColumnNullable;
    if (system)
        c.flags |= 0x10; // as Access marks the columns of its system tables
    if (type == ColumnType::Text)
        c.length = uint16_t(maxChars * 2);
    else if (type == ColumnType::Binary)
        c.length = 510;
    else if (type == ColumnType::Boolean)
        c.length = 1;
    else if (!variable)
        c.length = uint16_t(detail::fixedSize(c));
    if (type == ColumnType::Text || type == ColumnType::Memo) {
        c.sortOrder = kGeneralSortOrder;
        if (!system)
            c.extFlags = detail::kColumnExtCompressed; // as Access sets it
    } else if (system) {
        c.sortOrder = kGeneralSortOrder;
    }
    if (system && type == ColumnType::Binary)
        c.flags |= 0x20;
    c.info.fixed = !variable;
    c.info.nullable = type != ColumnType::Boolean;
    c.info.size = c.length;
    if (type == ColumnType::Text)
        c.info.maxChars = maxChars;
    return c;
}

TableDef systemTable(std::vector<ColumnDef> columns)
{
    TableDef t;
    t.system = true;
    t.columns = std::move(columns);
    detail::layOutColumns(newFileFormat(), t);
    return t;
}

// A physical index on ascending `columns` (numbers), and its logical index
// at the same position.
void addIndex(TableDef& t, const std::string& name, const std::vector<uint16_t>& columns, uint8_t flags,
              bool primary = false)
{
    PhysicalIndex physical;
    IndexInfo logical;
    logical.name = name;
    logical.primary = primary;
    for (uint16_t number : columns) {
        physical.columns.emplace_back(number, true);
        logical.columns.push_back({t.columns[number].info.name, true});
    }
    physical.flags = flags;
    t.logicalToPhysical.push_back(int(t.physicalIndexes.size()));
    t.physicalIndexes.push_back(std::move(physical));
    t.indexes.push_back(std::move(logical));
}

// Puts the logical indexes in another order: logical i is the index added
// as number order[i].
void orderIndexes(TableDef& t, const std::vector<int>& order)
{
    std::vector<IndexInfo> indexes;
    for (int i : order)
        indexes.push_back(t.indexes[size_t(i)]);
    t.indexes = std::move(indexes);
    t.logicalToPhysical = order;
}

// An empty inline usage map as a row of `page`; returns its row pointer.
RowPointer addMap(const detail::FormatInfo& f, uint8_t* page, uint32_t pageNumber,
                  const std::vector<uint32_t>& pages = {})
{
    std::vector<uint8_t> row(5 + size_t(f.usageMapInlineBytes), 0);
    uint32_t start = pages.empty() ? 0 : (pages.front() / 8) * 8;
    wr32(row.data() + 1, start);
    for (uint32_t p : pages)
        row[5 + (p - start) / 8] |= uint8_t(1 << ((p - start) % 8));
    DataPage dp{page, f.pageSize};
    int r = dp.addRow(row.data(), int(row.size()));
    return RowPointer{pageNumber, uint16_t(r)};
}

double nowAccessDays()
{
    using namespace std::chrono;
    double unixSeconds = double(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
    // 1970-01-01 is day 25569 of Access's calendar; local time is not known
    // here, so the catalog dates are in UTC.
    return 25569.0 + unixSeconds / 86400.0;
}

std::vector<uint8_t> buildHeader(const detail::FormatInfo& f, double created)
{
    std::vector<uint8_t> h(f.pageSize, 0);
    h[1] = 0x01;
    std::memcpy(h.data() + 4, "Standard Jet DB", 15);
    h[size_t(f.headerVersionOffset)] = f.jet3 ? 0x00 : 0x01;
    const uint8_t fixedBlock[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                    0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(h.data() + f.headerMaskedStart, fixedBlock, sizeof fixedBlock);
    wr16(h.data() + f.headerCodePage, 1252);
    wr32(h.data() + f.headerEncodingKey, 0); // no encryption
    wr16(h.data() + f.headerSortOrder, kGeneralSortOrder); // version 0
    if (!f.jet3) {
        // The empty password, masked with the creation date as Jet does.
        int32_t whole = int32_t(created);
        uint8_t mask[4] = {uint8_t(whole), uint8_t(whole >> 8), uint8_t(whole >> 16), uint8_t(whole >> 24)};
        for (int i = 0; i < f.headerPasswordLength; ++i)
            h[size_t(f.headerPassword + i)] = mask[i % 4];
        uint64_t bits;
        std::memcpy(&bits, &created, 8);
        wr32(h.data() + f.headerCreationDate, uint32_t(bits));
        wr32(h.data() + f.headerCreationDate + 4, uint32_t(bits >> 32));
    }
    detail::maskHeader(h.data(), f);
    // Outside the masked block: what Access writes there (Jet4: a version
    // stamp; both: a table of byte pairs near the end of the page).
    if (!f.jet3) {
        wr32(h.data() + 0x98, 0x0654);
        std::memcpy(h.data() + 0x9C, "4.0", 4);
    }
    const size_t table = f.jet3 ? 0x600 : 0xE00;
    h[table] = 0x01;
    h[table + 1] = 0x01;
    for (size_t i = table + 2; i < f.pageSize; i += 2)
        h[i + 1] = 0x01;
    return h;
}

Value sid(const std::vector<uint8_t>& bytes)
{
    return Value::binary(bytes);
}

void addCatalogRow(TableWriter& objects, uint32_t id, uint32_t parent, const std::string& name, int type,
                   double when, const std::vector<uint8_t>& owner, uint32_t flags)
{
    std::vector<Value> v(objects.layout().columns.size());
    auto set = [&](const char* column, Value value) {
        int i = objects.layout().columnIndex(column);
        if (i >= 0)
            v[size_t(i)] = std::move(value);
    };
    set("Id", Value::integer(int32_t(id)));
    set("ParentId", Value::integer(int32_t(parent)));
    set("Name", Value::text(name));
    set("Type", Value::integer(type));
    set("DateCreate", Value::dateTime(when));
    set("DateUpdate", Value::dateTime(when));
    set("Owner", sid(owner));
    set("Flags", Value::integer(int32_t(flags)));
    objects.insert(v);
}

void addAce(TableWriter& aces, uint32_t object, const std::vector<uint8_t>& who, uint32_t rights, bool inherit)
{
    std::vector<Value> v(aces.layout().columns.size());
    auto set = [&](const char* column, Value value) {
        int i = aces.layout().columnIndex(column);
        if (i >= 0)
            v[size_t(i)] = std::move(value);
    };
    set("ObjectId", Value::integer(int32_t(object)));
    set("SID", sid(who));
    set("ACM", Value::integer(int32_t(rights)));
    set("FInheritable", Value::boolean(inherit));
    aces.insert(v);
}

TableDef objectsTable()
{
    TableDef t = systemTable({column("Id", ColumnType::Long, true),
                              column("ParentId", ColumnType::Long, true),
                              column("Name", ColumnType::Text, true),
                              column("Type", ColumnType::Integer, true),
                              column("DateCreate", ColumnType::DateTime, true),
                              column("DateUpdate", ColumnType::DateTime, true),
                              column("Owner", ColumnType::Binary, true),
                              column("Flags", ColumnType::Long, true),
                              column("Database", ColumnType::Memo, true),
                              column("Connect", ColumnType::Memo, true),
                              column("ForeignName", ColumnType::Text, true),
                              column("RmtInfoShort", ColumnType::Binary, true),
                              column("RmtInfoLong", ColumnType::OLE, true),
                              column("Lv", ColumnType::OLE, true),
                              column("LvProp", ColumnType::OLE, true),
                              column("LvModule", ColumnType::OLE, true),
                              column("LvExtra", ColumnType::OLE, true)});
    addIndex(t, "ParentIdName", {1, 2}, 0x81);
    addIndex(t, "Id", {0}, 0x81, true);
    orderIndexes(t, {1, 0});
    return t;
}

TableDef acesTable()
{
    TableDef t = systemTable({column("ObjectId", ColumnType::Long, true), column("SID", ColumnType::Binary, true),
                              column("ACM", ColumnType::Long, true),
                              column("FInheritable", ColumnType::Boolean, true)});
    addIndex(t, "ObjectId", {0}, 0x88);
    return t;
}

TableDef queriesTable()
{
    TableDef t = systemTable({column("ObjectId", ColumnType::Long, true), column("Attribute", ColumnType::Byte, true),
                              column("Order", ColumnType::Binary, true), column("Name1", ColumnType::Text, true),
                              column("Name2", ColumnType::Text, true), column("Expression", ColumnType::Memo, true),
                              column("Flag", ColumnType::Integer, true), column("LvExtra", ColumnType::OLE, true)});
    addIndex(t, "ObjectIdAttribute", {0, 1, 2}, 0x81);
    return t;
}

TableDef relationshipsTable()
{
    TableDef t = systemTable({column("szRelationship", ColumnType::Text, true), column("grbit", ColumnType::Long, true),
                              column("ccolumn", ColumnType::Long, true), column("icolumn", ColumnType::Long, true),
                              column("szObject", ColumnType::Text, true), column("szColumn", ColumnType::Text, true),
                              column("szReferencedObject", ColumnType::Text, true),
                              column("szReferencedColumn", ColumnType::Text, true)});
    addIndex(t, "szRelationship", {0}, 0x82);
    addIndex(t, "szObject", {4}, 0x82);
    addIndex(t, "szReferencedObject", {6}, 0x82);
    orderIndexes(t, {1, 2, 0});
    return t;
}

// Maps for a table and its long-value columns, as rows of `mapPage`.
// `add` stores one empty map and returns where.
void addTableMaps(TableDef& t, const std::function<RowPointer()>& add)
{
    t.ownedPages = add();
    t.freeSpacePages = add();
    for (ColumnDef& c : t.columns) {
        if (!c.isLongValue())
            continue;
        c.longValueOwned = add();
        c.longValueFree = add();
    }
}

void writeAll(int fd, const std::vector<uint8_t>& bytes, const std::string& path)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw Error(Code::IoError, "écriture impossible : " + path + " (" + detail::systemErrorText(errno) + ")");
        done += size_t(n);
    }
}

void writeSkeleton(const std::string& path, int fd, const detail::FormatInfo& f)
{
    const double created = nowAccessDays();
    TableDef objects = objectsTable(), aces = acesTable(), queries = queriesTable(),
             relationships = relationshipsTable();
    for (TableDef* t : {&objects, &aces, &queries, &relationships})
        adaptColumns(f, *t);
    // Pages: 0 header, 1 global map, 2-5 definitions, 6-12 index roots, then
    // the usage maps (one page for Jet4, three for Jet3's larger maps).
    std::vector<std::vector<uint8_t>> pages(13, std::vector<uint8_t>(f.pageSize, 0));
    pages[0] = buildHeader(f, created);
    auto addMapRow = [&](const std::vector<uint32_t>& owned) {
        const uint32_t last = uint32_t(pages.size() - 1);
        if (last < 13 || !DataPage{pages[last].data(), f.pageSize}.fits(5 + f.usageMapInlineBytes)) {
            pages.emplace_back(f.pageSize, 0);
            DataPage::init(pages.back().data(), f.pageSize, 0);
        }
        const uint32_t at = uint32_t(pages.size() - 1);
        return addMap(f, pages[at].data(), at, owned);
    };
    uint32_t root = 6;
    const std::pair<uint32_t, TableDef*> tables[] = {{2, &objects}, {3, &aces}, {4, &queries}, {5, &relationships}};
    for (auto [definition, t] : tables) {
        t->page = definition;
        addTableMaps(*t, [&] { return addMapRow({}); });
        for (PhysicalIndex& x : t->physicalIndexes) {
            x.rootPage = root++;
            x.ownedPages = addMapRow({x.rootPage});
        }
    }
    const uint32_t firstFree = uint32_t(pages.size());

    DataPage::init(pages[1].data(), f.pageSize, 1);
    {
        const size_t mapBytes = size_t(f.usageMapInlineBytes);
        std::vector<uint8_t> global(5 + mapBytes, 0);
        for (uint32_t p = firstFree; p < mapBytes * 8; ++p)
            global[5 + p / 8] |= uint8_t(1 << (p % 8));
        DataPage dp{pages[1].data(), f.pageSize};
        dp.addRow(global.data(), int(global.size()));
        std::vector<uint8_t> second(5 + mapBytes, 0);
        dp.addRow(second.data(), int(second.size()));
    }

    for (auto [definition, t] : tables) {
        pages[definition] = detail::encodeTableDef(f, *t);
        for (const PhysicalIndex& x : t->physicalIndexes) {
            detail::IndexPage empty;
            empty.number = x.rootPage;
            empty.tdefPage = definition;
            detail::encodeIndexPage(empty, f.pageSize, pages[x.rootPage].data());
        }
    }
    for (const auto& p : pages)
        writeAll(fd, p, path);
}

void fillCatalog(const std::string& path)
{
    const double now = nowAccessDays();
    PageStore store(path);
    Transaction txn(store);
    {
        TableWriter objects(txn, 2, true);
        addCatalogRow(objects, kTablesContainer, kRootContainer, "Tables", 3, now, kCreatorSid, kSystemObject);
        addCatalogRow(objects, kDatabasesContainer, kRootContainer, "Databases", 3, now, kCreatorSid, kSystemObject);
        addCatalogRow(objects, kRelationshipsContainer, kRootContainer, "Relationships", 3, now, kCreatorSid,
                      kSystemObject);
        addCatalogRow(objects, kMSysDb, kDatabasesContainer, "MSysDb", 2, now, kAdminSid, kSystemObject);
        addCatalogRow(objects, 2, kTablesContainer, "MSysObjects", 1, now, kCreatorSid, kSystemObject);
        addCatalogRow(objects, 3, kTablesContainer, "MSysACEs", 1, now, kCreatorSid, kSystemObject);
        addCatalogRow(objects, 4, kTablesContainer, "MSysQueries", 1, now, kCreatorSid, kSystemObject);
        addCatalogRow(objects, 5, kTablesContainer, "MSysRelationships", 1, now, kCreatorSid, kSystemObject);
        objects.finish();
    }
    {
        TableWriter aces(txn, 3, true);
        addAce(aces, kTablesContainer, kOwnerSid, 983294, true);
        addAce(aces, kTablesContainer, kAdminSid, 1048319, true);
        addAce(aces, kTablesContainer, kUsersSid, 1048319, true);
        addAce(aces, kDatabasesContainer, kAdminSid, 393216, false);
        addAce(aces, kRelationshipsContainer, kOwnerSid, 983294, true);
        addAce(aces, kRelationshipsContainer, kAdminSid, 393217, false);
        addAce(aces, kRelationshipsContainer, kUsersSid, 1048575, true);
        addAce(aces, kMSysDb, kAdminSid, 393230, false);
        addAce(aces, kMSysDb, kUsersSid, 14, false);
        addAce(aces, 2, kAdminSid, 393216, false);
        addAce(aces, 2, kUsersSid, 20, false);
        addAce(aces, 3, kAdminSid, 393216, false);
        addAce(aces, 4, kAdminSid, 393216, false);
        addAce(aces, 4, kUsersSid, 20, false);
        addAce(aces, 5, kAdminSid, 917504, false);
        addAce(aces, 5, kUsersSid, 20, false);
        aces.finish();
    }
    for (uint32_t tdef : {2u, 3u, 4u, 5u})
        rebuildIndexes(txn, tdef);
    txn.commit();
}

} // namespace

void createTable(DatabaseWriter& writer, const std::string& name, const std::vector<ColumnSpec>& columns,
                 const std::vector<IndexSpec>& indexes)
{
    if (name.empty() || name.size() > 64)
        throw Error(Code::InvalidValue, "nom de table invalide : « " + name + " »");
    if (columns.empty() || columns.size() > 255)
        throw Error(Code::InvalidValue, "une table doit avoir de 1 à 255 colonnes : « " + name + " »");
    TableDef t;
    for (const ColumnSpec& wanted : columns) {
        if (wanted.name.empty() || wanted.name.size() > 64)
            throw Error(Code::InvalidValue, "nom de colonne invalide : « " + wanted.name + " »");
        for (const ColumnDef& other : t.columns)
            if (detail::sameColumnName(other.info.name, wanted.name))
                throw Error(Code::InvalidValue, "colonne en double : « " + wanted.name + " »");
        switch (wanted.type) {
        case ColumnType::Complex:
            throw Error(Code::Unsupported, "type de colonne non pris en charge à la création : " +
                                               std::string(columnTypeName(wanted.type)));
        default: break;
        }
        if (wanted.type == ColumnType::Text && (wanted.maxChars < 1 || wanted.maxChars > 255))
            throw Error(Code::InvalidValue, "longueur de texte invalide pour « " + wanted.name + " » (1 à 255)");
        ColumnDef c = column(wanted.name, wanted.type, false, wanted.maxChars);
        if (wanted.type == ColumnType::Numeric) {
            if (wanted.precision < 1 || wanted.precision > kMaxNumericPrecision)
                throw Error(Code::InvalidValue, "précision invalide pour la colonne décimale « " + wanted.name +
                                                    " » : " + std::to_string(wanted.precision) + " (1 à " +
                                                    std::to_string(kMaxNumericPrecision) + ")");
            if (wanted.scale < 0 || wanted.scale > wanted.precision)
                throw Error(Code::InvalidValue, "nombre de décimales invalide pour la colonne décimale « " +
                                                    wanted.name + " » : " + std::to_string(wanted.scale) +
                                                    " (0 à la précision, " + std::to_string(wanted.precision) + ")");
            c.info.precision = wanted.precision;
            c.info.scale = wanted.scale;
        }
        if (wanted.autonumber) {
            if (wanted.type != ColumnType::Long)
                throw Error(Code::InvalidValue, "numérotation automatique réservée aux entiers longs : « " +
                                                    wanted.name + " »");
            c.flags |= detail::kColumnAutonumber;
            c.info.autonumber = true;
        }
        t.columns.push_back(c);
    }
    writer.transact([&](Transaction& txn) {
        const detail::FormatInfo* f = detail::formatForVersion(txn.version(), txn.version() >= 2);
        if (!f)
            throw Error(Code::Unsupported, "création de table : format de fichier inconnu");
        adaptColumns(*f, t);
        addNewIndexes(*f, t, indexes);
        std::vector<CatalogRow> catalog = readCatalogRows(txn);
        uint32_t tablesContainer = kTablesContainer, acesPage = 0;
        for (const CatalogRow& row : catalog) {
            if ((row.type & 0x7FFF) == 1 && detail::sameColumnName(row.name, name))
                throw Error(Code::InvalidValue, "la table « " + name + " » existe déjà");
            if (row.type == 3 && row.name == "Tables")
                tablesContainer = row.id;
            if ((row.type & 0x7FFF) == 1 && row.name == "MSysACEs")
                acesPage = row.id & 0x00FFFFFF;
        }
        PageAllocator alloc(txn);
        uint32_t definition = alloc.allocate();
        uint32_t mapPage = 0;
        // The usage maps, as rows of map pages (another when one is full).
        auto addMapRow = [&](const std::vector<uint32_t>& owned) {
            if (mapPage == 0 || !DataPage{txn.modify(mapPage), txn.pageSize()}.fits(5 + f->usageMapInlineBytes)) {
                mapPage = alloc.allocate();
                DataPage::init(txn.modify(mapPage), txn.pageSize(), 0);
            }
            return addMap(*f, txn.modify(mapPage), mapPage, owned);
        };
        addTableMaps(t, [&] { return addMapRow({}); });
        // Each index starts as an empty leaf, its root, owned by its own map.
        for (PhysicalIndex& x : t.physicalIndexes) {
            x.rootPage = alloc.allocate();
            detail::IndexPage empty;
            empty.number = x.rootPage;
            empty.tdefPage = definition;
            detail::encodeIndexPage(empty, txn.pageSize(), txn.modify(x.rootPage));
            x.ownedPages = addMapRow({x.rootPage});
        }
        t.page = definition;
        std::vector<uint8_t> d = detail::encodeTableDef(*f, t);
        std::memcpy(txn.modify(definition), d.data(), d.size());

        const double now = nowAccessDays();
        TableWriter objects(txn, 2, true);
        addCatalogRow(objects, definition, tablesContainer, name, 1, now, kAdminSid, 0);
        objects.finish();
        rebuildIndexes(txn, 2);
        if (acesPage) {
            TableWriter aces(txn, acesPage, true);
            addAce(aces, definition, kAdminSid, 1048575, false);
            addAce(aces, definition, kUsersSid, 1048575, false);
            aces.finish();
            rebuildIndexes(txn, acesPage);
        }
    });
}

} // namespace jet::writer

namespace jet {

std::unique_ptr<Database> Database::create(const std::string& path, Format format)
{
    if (format != Format::Jet4 && format != Format::Jet3)
        throw Error(Code::Unsupported,
                    "création de base : seuls les formats Access 2000 (Jet 4) et Access 97 (Jet 3) sont pris en charge");
    int fd = detail::os::openFile(path, detail::os::Access::Write, detail::os::Creation::New);
    if (fd < 0) {
        if (errno == EEXIST)
            throw Error(Code::IoError, "le fichier existe déjà, il n'est pas remplacé : " + path);
        throw Error(Code::IoError, "création du fichier impossible : " + path + " (" + detail::systemErrorText(errno) + ")");
    }
    try {
        writer::writeSkeleton(path, fd, detail::formatInfo(format));
        if (!detail::os::syncAll(fd))
            throw Error(Code::IoError, "écriture impossible : " + path + " (" + detail::systemErrorText(errno) + ")");
        detail::os::closeFile(fd);
        fd = -1;
        writer::fillCatalog(path);
    } catch (...) {
        if (fd >= 0)
            detail::os::closeFile(fd);
        detail::os::removeFile(path);
        throw;
    }
    return Database::open(path, OpenMode::ReadWrite);
}

} // namespace jet
