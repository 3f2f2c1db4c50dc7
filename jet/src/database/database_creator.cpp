// New databases, written from nothing: the Jet4 header, the global page map,
// the four system tables (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships) with their usage maps and indexes, and the catalog and
// permission rows that Access and other Jet readers expect; and new tables
// added to the catalog of an open file.
#include "table/catalog_writer.h"
#include "format/data_page_writer.h"
#include "database/database_writer.h"
#include "format/header.h"
#include "index/index_rebuild.h"
#include "file/os_file.h"
#include "file/system_error.h"
#include "table/table_writer.h"
#include "format/text.h"
#include "format/usage_map.h"
#include "jet/status.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <unistd.h> // write(): the C runtime's on Windows, in binary mode there (os_file.h)

namespace jet::writer {

namespace {

constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kTablesContainer = 0x0F000001;
constexpr uint32_t kDatabasesContainer = 0x0F000002;
constexpr uint32_t kRelationshipsContainer = 0x0F000003;
constexpr uint32_t kRootContainer = 0x0F000000;
constexpr uint32_t kMSysDb = 0x10000000;
constexpr uint32_t kSystemObject = 0x80000000;
constexpr uint32_t kDefinitionMagic = 0x0659; // repeated in every definition block
constexpr uint32_t kIndexMagic = 0x0783;
constexpr int kInlineMapBytes = 64;

// Owners of objects, as security identifiers of the default workgroup.
const std::vector<uint8_t> kAdminSid = {0xA6, 0x33};
const std::vector<uint8_t> kUsersSid = {0xA7, 0x33};
const std::vector<uint8_t> kCreatorSid = {0xA7, 0x31};
const std::vector<uint8_t> kOwnerSid = {0xA7, 0x36};

struct ColSpec {
    std::string name;
    ColumnType type = ColumnType::Text;
    uint16_t length = 0;
    uint8_t flags = 0;
    uint8_t extFlags = 0;
    uint16_t sortOrder = 0;
    uint8_t precision = 0, scale = 0; // Numeric
    uint16_t number = 0, varIndex = 0, fixedOffset = 0;
    uint32_t lvOwned = 0, lvFree = 0;
    bool longValue() const { return type == ColumnType::Memo || type == ColumnType::OLE; }
    bool variable() const
    {
        return type == ColumnType::Text || type == ColumnType::Memo || type == ColumnType::OLE ||
               type == ColumnType::Binary;
    }
};

struct IdxSpec {
    std::string name;
    std::vector<uint16_t> columns; // column numbers, ascending
    uint8_t flags = 0x80;
    bool primary = false;
    uint32_t map = 0;
    uint32_t root = 0;
};

struct TableSpec {
    bool system = false;
    std::vector<ColSpec> columns;
    std::vector<IdxSpec> indexes; // physical = logical, in this order
    std::vector<int> logicalOrder;  // logical index i uses physical logicalOrder[i]
    uint32_t owned = 0, free = 0;
};

uint16_t fixedLength(ColumnType t)
{
    switch (t) {
    case ColumnType::Boolean: return 1;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Single: return 4;
    case ColumnType::Currency:
    case ColumnType::Double:
    case ColumnType::DateTime:
    case ColumnType::BigInt: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    default: return 0;
    }
}

ColSpec column(const std::string& name, ColumnType type, bool system, int maxChars = 255)
{
    ColSpec c;
    c.name = name;
    c.type = type;
    c.flags = c.variable() ? 0x02 : 0x03;
    if (system)
        c.flags |= 0x10;
    if (type == ColumnType::Text)
        c.length = uint16_t(maxChars * 2);
    else if (type == ColumnType::Binary)
        c.length = 510;
    else if (!c.variable())
        c.length = fixedLength(type);
    if (type == ColumnType::Text || type == ColumnType::Memo) {
        c.sortOrder = 0x0409;
        if (!system)
            c.extFlags = 0x01; // compressed Unicode, as Access sets it
    } else if (system) {
        c.sortOrder = 0x0409;
    }
    if (system && type == ColumnType::Binary)
        c.flags |= 0x20;
    return c;
}

// Column numbers, variable slots and fixed offsets, in column order.
void placeColumns(TableSpec& t)
{
    uint16_t var = 0, fixed = 0;
    for (size_t i = 0; i < t.columns.size(); ++i) {
        ColSpec& c = t.columns[i];
        c.number = uint16_t(i);
        if (c.variable()) {
            c.varIndex = var++;
        } else {
            c.varIndex = var;
            c.fixedOffset = c.type == ColumnType::Boolean ? 0 : fixed;
            if (c.type != ColumnType::Boolean)
                fixed = uint16_t(fixed + c.length);
        }
    }
}

void putName(std::vector<uint8_t>& out, const std::string& utf8)
{
    std::vector<uint8_t> ucs2 = detail::encodeUnicodeText(utf8, false);
    out.push_back(uint8_t(ucs2.size()));
    out.push_back(uint8_t(ucs2.size() >> 8));
    out.insert(out.end(), ucs2.begin(), ucs2.end());
}

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// The table definition page.
std::vector<uint8_t> buildDefinition(const TableSpec& t)
{
    std::vector<uint8_t> d;
    d.reserve(kPageSize);
    d.push_back(0x02);
    d.push_back(0x01);
    put16(d, 0);              // free space, set below
    put32(d, 0);              // next definition page
    put32(d, 0);              // length, set below
    put32(d, kDefinitionMagic);
    put32(d, 0);              // rows
    put32(d, 0);              // last autonumber
    d.push_back(0x01);        // autonumbers enabled
    d.insert(d.end(), 15, 0);
    d.push_back(t.system ? 0x53 : 0x4E);
    uint16_t varCount = 0;
    for (const ColSpec& c : t.columns)
        if (c.variable())
            ++varCount;
    put16(d, uint16_t(t.columns.size()));
    put16(d, varCount);
    put16(d, uint16_t(t.columns.size()));
    put32(d, uint32_t(t.indexes.size()));
    put32(d, uint32_t(t.indexes.size()));
    put32(d, t.owned);
    put32(d, t.free);
    for (size_t i = 0; i < t.indexes.size(); ++i) {
        put32(d, 0);
        put32(d, 0); // entry count, kept up to date by the index writer
        put32(d, 0);
    }
    for (const ColSpec& c : t.columns) {
        d.push_back(uint8_t(c.type));
        put32(d, kDefinitionMagic);
        put16(d, c.number);
        put16(d, c.varIndex);
        put16(d, c.number);
        if (c.type == ColumnType::Numeric) {
            // Where text columns keep their sort order, a Decimal column
            // keeps its precision and scale, one byte each.
            d.push_back(c.precision);
            d.push_back(c.scale);
        } else {
            put16(d, c.sortOrder);
        }
        put16(d, 0);
        d.push_back(c.flags);
        d.push_back(c.extFlags);
        put32(d, 0);
        put16(d, c.fixedOffset);
        put16(d, c.length);
    }
    for (const ColSpec& c : t.columns)
        putName(d, c.name);
    for (const IdxSpec& x : t.indexes) {
        put32(d, kIndexMagic);
        for (size_t k = 0; k < 10; ++k) {
            if (k < x.columns.size()) {
                put16(d, x.columns[k]);
                d.push_back(0x01);
            } else {
                put16(d, 0xFFFF);
                d.push_back(0x00);
            }
        }
        put32(d, x.map);
        put32(d, x.root);
        put32(d, 0);
        d.push_back(x.flags);
        d.insert(d.end(), 5, 0);
    }
    for (size_t i = 0; i < t.logicalOrder.size(); ++i) {
        const IdxSpec& x = t.indexes[size_t(t.logicalOrder[i])];
        put32(d, kDefinitionMagic);
        put32(d, uint32_t(t.logicalOrder[i]));
        put32(d, uint32_t(t.logicalOrder[i]));
        d.push_back(0x00);
        put32(d, 0xFFFFFFFF);
        put32(d, 0);
        d.push_back(0x04);
        d.push_back(0x04);
        d.push_back(x.primary ? 0x01 : 0x00);
        put32(d, 0);
    }
    for (size_t i = 0; i < t.logicalOrder.size(); ++i)
        putName(d, t.indexes[size_t(t.logicalOrder[i])].name);
    for (const ColSpec& c : t.columns) {
        if (!c.longValue())
            continue;
        put16(d, c.number);
        put32(d, c.lvOwned);
        put32(d, c.lvFree);
    }
    put16(d, 0xFFFF);
    if (d.size() > kPageSize)
        throw Error(Code::Unsupported, "définition de table trop longue pour une page");
    wr32(d.data() + 8, uint32_t(d.size()));
    wr16(d.data() + 2, uint16_t(kPageSize - d.size() - 8));
    d.resize(kPageSize, 0);
    return d;
}

// An empty inline usage map as a row of `page`; returns its row pointer.
uint32_t addMap(uint8_t* page, uint32_t pageNumber, const std::vector<uint32_t>& pages = {})
{
    std::vector<uint8_t> row(5 + kInlineMapBytes, 0);
    uint32_t start = pages.empty() ? 0 : (pages.front() / 8) * 8;
    wr32(row.data() + 1, start);
    for (uint32_t p : pages)
        row[5 + (p - start) / 8] |= uint8_t(1 << ((p - start) % 8));
    DataPage dp{page, kPageSize};
    int r = dp.addRow(row.data(), int(row.size()));
    return pageNumber << 8 | uint32_t(r);
}

double nowAccessDays()
{
    using namespace std::chrono;
    double unixSeconds = double(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
    // 1970-01-01 is day 25569 of Access's calendar; local time is not known
    // here, so the catalog dates are in UTC.
    return 25569.0 + unixSeconds / 86400.0;
}

std::vector<uint8_t> buildHeader(double created)
{
    std::vector<uint8_t> h(kPageSize, 0);
    h[1] = 0x01;
    std::memcpy(h.data() + 4, "Standard Jet DB", 15);
    h[0x14] = 0x01; // Jet4
    const uint8_t fixedBlock[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                    0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(h.data() + 0x18, fixedBlock, sizeof fixedBlock);
    wr16(h.data() + 0x3C, 1252);   // code page
    wr32(h.data() + 0x3E, 0);      // no encryption
    // The empty password, masked with the creation date as Jet does.
    int32_t whole = int32_t(created);
    uint8_t mask[4] = {uint8_t(whole), uint8_t(whole >> 8), uint8_t(whole >> 16), uint8_t(whole >> 24)};
    for (int i = 0; i < 40; ++i)
        h[size_t(0x42 + i)] = mask[i % 4];
    wr16(h.data() + 0x6E, 0x0409); // General sort order, version 0
    uint64_t bits;
    std::memcpy(&bits, &created, 8);
    wr32(h.data() + 0x72, uint32_t(bits));
    wr32(h.data() + 0x76, uint32_t(bits >> 32));
    const uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    detail::rc4Xor(key, sizeof key, h.data() + 0x18, 128);
    wr32(h.data() + 0x98, 0x0654);
    std::memcpy(h.data() + 0x9C, "4.0", 4);
    h[0xE00] = 0x01;
    h[0xE01] = 0x01;
    for (size_t i = 0xE02; i < kPageSize; i += 2)
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

TableSpec objectsTable()
{
    TableSpec t;
    t.system = true;
    t.columns = {column("Id", ColumnType::Long, true),
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
                 column("LvExtra", ColumnType::OLE, true)};
    placeColumns(t);
    IdxSpec parentName{"ParentIdName", {1, 2}, 0x81, false};
    IdxSpec id{"Id", {0}, 0x81, true};
    t.indexes = {parentName, id};
    t.logicalOrder = {1, 0};
    return t;
}

TableSpec acesTable()
{
    TableSpec t;
    t.system = true;
    t.columns = {column("ObjectId", ColumnType::Long, true), column("SID", ColumnType::Binary, true),
                 column("ACM", ColumnType::Long, true), column("FInheritable", ColumnType::Boolean, true)};
    placeColumns(t);
    t.indexes = {IdxSpec{"ObjectId", {0}, 0x88, false}};
    t.logicalOrder = {0};
    return t;
}

TableSpec queriesTable()
{
    TableSpec t;
    t.system = true;
    t.columns = {column("ObjectId", ColumnType::Long, true),  column("Attribute", ColumnType::Byte, true),
                 column("Order", ColumnType::Binary, true),   column("Name1", ColumnType::Text, true),
                 column("Name2", ColumnType::Text, true),     column("Expression", ColumnType::Memo, true),
                 column("Flag", ColumnType::Integer, true),   column("LvExtra", ColumnType::OLE, true)};
    placeColumns(t);
    t.indexes = {IdxSpec{"ObjectIdAttribute", {0, 1, 2}, 0x81, false}};
    t.logicalOrder = {0};
    return t;
}

TableSpec relationshipsTable()
{
    TableSpec t;
    t.system = true;
    t.columns = {column("szRelationship", ColumnType::Text, true), column("grbit", ColumnType::Long, true),
                 column("ccolumn", ColumnType::Long, true),        column("icolumn", ColumnType::Long, true),
                 column("szObject", ColumnType::Text, true),       column("szColumn", ColumnType::Text, true),
                 column("szReferencedObject", ColumnType::Text, true),
                 column("szReferencedColumn", ColumnType::Text, true)};
    placeColumns(t);
    t.indexes = {IdxSpec{"szRelationship", {0}, 0x82, false}, IdxSpec{"szObject", {4}, 0x82, false},
                 IdxSpec{"szReferencedObject", {6}, 0x82, false}};
    t.logicalOrder = {1, 2, 0};
    return t;
}

// Maps for a table and its long-value columns, as rows of `mapPage`.
void addTableMaps(TableSpec& t, uint8_t* mapPage, uint32_t mapPageNumber)
{
    t.owned = addMap(mapPage, mapPageNumber);
    t.free = addMap(mapPage, mapPageNumber);
    for (ColSpec& c : t.columns) {
        if (!c.longValue())
            continue;
        c.lvOwned = addMap(mapPage, mapPageNumber);
        c.lvFree = addMap(mapPage, mapPageNumber);
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

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

void writeSkeleton(const std::string& path, int fd)
{
    const double created = nowAccessDays();
    TableSpec objects = objectsTable(), aces = acesTable(), queries = queriesTable(),
              relationships = relationshipsTable();
    // Pages: 0 header, 1 global map, 2-5 definitions, 6 usage maps, 7-13 index roots.
    constexpr uint32_t kFirstFree = 14;
    std::vector<std::vector<uint8_t>> pages(kFirstFree, std::vector<uint8_t>(kPageSize, 0));
    pages[0] = buildHeader(created);

    DataPage::init(pages[1].data(), kPageSize, 1);
    {
        std::vector<uint8_t> global(5 + kInlineMapBytes, 0);
        for (uint32_t p = kFirstFree; p < uint32_t(kInlineMapBytes) * 8; ++p)
            global[5 + p / 8] |= uint8_t(1 << (p % 8));
        DataPage dp{pages[1].data(), kPageSize};
        dp.addRow(global.data(), int(global.size()));
        std::vector<uint8_t> second(5 + kInlineMapBytes, 0);
        dp.addRow(second.data(), int(second.size()));
    }

    DataPage::init(pages[6].data(), kPageSize, 0);
    uint8_t* maps = pages[6].data();
    uint32_t root = 7;
    addTableMaps(objects, maps, 6);
    for (IdxSpec& x : objects.indexes) {
        x.root = root++;
        x.map = addMap(maps, 6, {x.root});
    }
    for (TableSpec* t : {&aces, &queries, &relationships}) {
        addTableMaps(*t, maps, 6);
        for (IdxSpec& x : t->indexes) {
            x.root = root++;
            x.map = addMap(maps, 6, {x.root});
        }
    }
    pages[2] = buildDefinition(objects);
    pages[3] = buildDefinition(aces);
    pages[4] = buildDefinition(queries);
    pages[5] = buildDefinition(relationships);
    const std::pair<uint32_t, const TableSpec*> owners[] = {{2, &objects}, {3, &aces}, {4, &queries}, {5, &relationships}};
    for (auto [tdef, wanted] : owners) {
        for (const IdxSpec& x : wanted->indexes) {
            uint8_t* p = pages[x.root].data();
            p[0] = 0x04;
            p[1] = 0x01;
            wr16(p + 2, uint16_t(kPageSize - 0x1E0));
            wr32(p + 4, tdef);
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

void createTable(DatabaseWriter& writer, const std::string& name, const std::vector<ColumnSpec>& columns)
{
    if (name.empty() || name.size() > 64)
        throw Error(Code::InvalidValue, "nom de table invalide : « " + name + " »");
    if (columns.empty() || columns.size() > 255)
        throw Error(Code::InvalidValue, "une table doit avoir de 1 à 255 colonnes : « " + name + " »");
    TableSpec t;
    for (const ColumnSpec& wanted : columns) {
        if (wanted.name.empty() || wanted.name.size() > 64)
            throw Error(Code::InvalidValue, "nom de colonne invalide : « " + wanted.name + " »");
        for (const ColSpec& other : t.columns)
            if (sameName(other.name, wanted.name))
                throw Error(Code::InvalidValue, "colonne en double : « " + wanted.name + " »");
        switch (wanted.type) {
        case ColumnType::Complex:
            throw Error(Code::Unsupported, "type de colonne non pris en charge à la création : " +
                                               std::string(columnTypeName(wanted.type)));
        default: break;
        }
        if (wanted.type == ColumnType::Text && (wanted.maxChars < 1 || wanted.maxChars > 255))
            throw Error(Code::InvalidValue, "longueur de texte invalide pour « " + wanted.name + " » (1 à 255)");
        ColSpec c = column(wanted.name, wanted.type, false, wanted.maxChars);
        if (wanted.type == ColumnType::Numeric) {
            if (wanted.precision < 1 || wanted.precision > kMaxNumericPrecision)
                throw Error(Code::InvalidValue, "précision invalide pour la colonne décimale « " + wanted.name +
                                                    " » : " + std::to_string(wanted.precision) + " (1 à " +
                                                    std::to_string(kMaxNumericPrecision) + ")");
            if (wanted.scale < 0 || wanted.scale > wanted.precision)
                throw Error(Code::InvalidValue, "nombre de décimales invalide pour la colonne décimale « " +
                                                    wanted.name + " » : " + std::to_string(wanted.scale) +
                                                    " (0 à la précision, " + std::to_string(wanted.precision) + ")");
            c.precision = uint8_t(wanted.precision);
            c.scale = uint8_t(wanted.scale);
        }
        if (wanted.autonumber) {
            if (wanted.type != ColumnType::Long)
                throw Error(Code::InvalidValue, "numérotation automatique réservée aux entiers longs : « " +
                                                    wanted.name + " »");
            c.flags |= 0x04;
        }
        t.columns.push_back(c);
    }
    placeColumns(t);
    writer.transact([&](Transaction& txn) {
        std::vector<CatalogRow> catalog = readCatalogRows(txn);
        uint32_t tablesContainer = kTablesContainer, acesPage = 0;
        for (const CatalogRow& row : catalog) {
            if ((row.type & 0x7FFF) == 1 && sameName(row.name, name))
                throw Error(Code::InvalidValue, "la table « " + name + " » existe déjà");
            if (row.type == 3 && row.name == "Tables")
                tablesContainer = row.id;
            if ((row.type & 0x7FFF) == 1 && row.name == "MSysACEs")
                acesPage = row.id & 0x00FFFFFF;
        }
        PageAllocator alloc(txn);
        uint32_t definition = alloc.allocate();
        uint32_t mapPage = alloc.allocate();
        DataPage::init(txn.modify(mapPage), txn.pageSize(), 0);
        addTableMaps(t, txn.modify(mapPage), mapPage);
        std::vector<uint8_t> d = buildDefinition(t);
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
    if (format != Format::Jet4)
        throw Error(Code::Unsupported, "création de base : seul le format Access 2000 (Jet 4) est pris en charge");
    int fd = detail::os::openFile(path, detail::os::Access::Write, detail::os::Creation::New);
    if (fd < 0) {
        if (errno == EEXIST)
            throw Error(Code::IoError, "le fichier existe déjà, il n'est pas remplacé : " + path);
        throw Error(Code::IoError, "création du fichier impossible : " + path + " (" + detail::systemErrorText(errno) + ")");
    }
    try {
        writer::writeSkeleton(path, fd);
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
