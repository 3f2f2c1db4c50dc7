#include "index/index_maintainer.h"
#include "index/index_build.h"

#include "index/collation.h"
#include "index/index_reader.h"
#include "format/data_page_writer.h"
#include "format/extended_date.h"
#include "format/header.h"
#include "format/long_value.h"
#include "format/row_codec.h"
#include "format/text.h"
#include "jet/status.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace jet::writer {

using detail::IndexEntry;
using detail::IndexTree;
using detail::KeyColumn;
using detail::SortOrder;

namespace {


// Index pages inside the transaction; new pages join the index's own map,
// emptied ones leave it and are given back (PageAllocator), so that a file
// whose indexes shrink and grow again does not keep growing.
class TransactionPages : public detail::IndexPageStore {
public:
    TransactionPages(Transaction& txn, PageAllocator& allocator, uint32_t ownedMap)
        : txn_(txn), allocator_(allocator), ownedMap_(ownedMap)
    {
    }
    uint32_t pageSize() const override { return txn_.pageSize(); }
    const uint8_t* read(uint32_t page) override
    {
        if (page == 0 || page >= txn_.pageCount())
            throw Error(Code::Corrupt, "page " + std::to_string(page) + " : page d'index hors du fichier");
        return txn_.page(page);
    }
    void write(uint32_t page, const uint8_t* bytes) override
    {
        std::memcpy(txn_.modify(page), bytes, txn_.pageSize());
    }
    uint8_t* modify(uint32_t page) override { return txn_.modify(page); }
    uint32_t allocate() override
    {
        uint32_t page = allocator_.allocate();
        if (ownedMap_ >> 8) {
            UsageMap owned(txn_, ownedMap_);
            owned.add(page, allocator_);
        }
        return page;
    }
    void release(uint32_t page) override
    {
        if (ownedMap_ >> 8) {
            UsageMap owned(txn_, ownedMap_);
            if (owned.contains(page))
                owned.remove(page, allocator_);
        }
        allocator_.release(page);
    }

private:
    Transaction& txn_;
    PageAllocator& allocator_;
    uint32_t ownedMap_;
};

[[noreturn]] void corrupt(uint32_t page, const std::string& what)
{
    throw Error(Code::Corrupt, "page " + std::to_string(page) + " : " + what);
}

// The database's text sort order, from its header.
uint32_t databaseSortOrder(Transaction& txn)
{
    const detail::FormatInfo* f = detail::formatForVersion(txn.version(), txn.version() >= 2);
    if (!f)
        throw Error(Code::Unsupported, "version de format " + std::to_string(txn.version()) + " non prise en charge");
    return detail::storedSortOrder(txn.page(0), *f);
}

std::string keyText(const std::vector<Value>& values)
{
    std::string s;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i)
            s += ", ";
        s += values[i].isNull() ? std::string("NULL") : "« " + values[i].toString() + " »";
    }
    return s;
}

// Stored text as the file holds it: UCS-2 (or its compressed form), or the
// code page of a Jet3 column.
Value storedText(const ColumnDef& c, const uint8_t* data, size_t size)
{
    return Value::text(c.codePageText ? detail::decodeCodePageText(data, size, c.codePage)
                                      : detail::decodeUnicodeText(data, size));
}

} // namespace

Value fieldValue(const ColumnDef& c, const Field& f)
{
    if (c.info.type == ColumnType::Boolean)
        return Value::boolean(f.boolean);
    if (f.null)
        return Value();
    const std::vector<uint8_t>& b = f.bytes;
    auto need = [&](size_t n) {
        if (b.size() < n)
            throw Error(Code::Corrupt, "colonne « " + c.info.name + " » : valeur stockée tronquée");
    };
    auto le64 = [&]() {
        need(8);
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = v << 8 | b[size_t(i)];
        return v;
    };
    switch (c.info.type) {
    case ColumnType::Byte: need(1); return Value::integer(b[0]);
    case ColumnType::Integer: need(2); return Value::integer(int16_t(rd16(b.data())));
    case ColumnType::Long: need(4); return Value::integer(int32_t(rd32(b.data())));
    case ColumnType::Currency: return Value::currency(int64_t(le64()));
    case ColumnType::Single: {
        need(4);
        uint32_t bits = rd32(b.data());
        float x;
        std::memcpy(&x, &bits, 4);
        return Value::single(x);
    }
    case ColumnType::Double:
    case ColumnType::DateTime: {
        uint64_t bits = le64();
        double x;
        std::memcpy(&x, &bits, 8);
        return c.info.type == ColumnType::DateTime ? Value::dateTime(x) : Value::real(x);
    }
    case ColumnType::Guid: {
        need(16);
        std::array<uint8_t, 16> g;
        std::copy(b.begin(), b.begin() + 16, g.begin());
        return Value::guid(g);
    }
    case ColumnType::BigInt: return Value::integer(int64_t(le64()));
    case ColumnType::Numeric: need(17); return Value::decimal(detail::decodeNumeric(b.data(), c.info.scale));
    case ColumnType::Binary: return Value::binary(b);
    case ColumnType::DateTimeExtended: {
        const std::optional<int64_t> ticks = detail::decodeExtendedDate(b.data(), b.size());
        if (!ticks)
            throw Error(Code::Corrupt, "colonne « " + c.info.name + " » : date/heure étendue illisible");
        return Value::dateTimeExtended(*ticks);
    }
    case ColumnType::Text: return storedText(c, b.data(), b.size());
    case ColumnType::Complex:
        if (c.rawType != uint8_t(ColumnType::Complex))
            break;
        need(4);
        return Value::integer(int32_t(rd32(b.data()))); // the complex id
    case ColumnType::Memo: {
        need(12);
        const uint32_t length = rd24(b.data());
        if ((b[3] & 0xC0) != detail::kLongValueInline)
            throw Error(Code::Unsupported, "colonne « " + c.info.name + " » : mémo hors de la ligne");
        need(12 + size_t(length));
        return storedText(c, b.data() + 12, length);
    }
    default: break;
    }
    throw Error(Code::Unsupported, "colonne « " + c.info.name + " » : type de clé d'index non pris en charge");
}

struct IndexMaintainer::Index {
    std::string name;
    size_t physical = 0;
    std::vector<int> columns; // positions in layout.columns
    std::vector<KeyColumn> keyColumns;
    // A Memo column's field points to its text: the same field may hold
    // another text after a rewrite, so these keys are not kept by field.
    bool memo = false;
    std::optional<std::vector<uint8_t>> before;
    std::vector<Field> beforeFields;
    bool hasBefore = false;
    bool unique = false, primary = false, ignoreNulls = false;
    size_t countOffset = 0;
    long distinctDelta = 0;
    std::unique_ptr<TransactionPages> pages;
    std::unique_ptr<IndexTree> tree;
    // The last keys computed, with the stored fields of the key columns they
    // came from: a write asks for the same row's key several times.
    struct Known {
        std::vector<Field> fields;
        std::optional<std::vector<uint8_t>> key;
    };
    std::vector<Known> known;
    size_t nextKnown = 0;
    // Keys the file holds for key fields whose key cannot be computed
    // (keepStoredKeys), and the entries of the tree by row, read for them.
    std::map<std::string, std::vector<uint8_t>> stored;
    std::map<std::pair<uint32_t, uint8_t>, std::vector<uint8_t>> entriesByRow;
    bool entriesRead = false;
    // Entries gathered for a build at finish() (gatherEntries()).
    std::vector<IndexEntry> gathered;
    bool gathering = false;
};

namespace {

bool sameField(const Field& a, const Field& b)
{
    return a.null == b.null && a.boolean == b.boolean && a.bytes == b.bytes;
}

} // namespace

IndexMaintainer::IndexMaintainer(Transaction& txn, const TableDef& layout, PageAllocator& allocator,
                                 LongValueData longValues)
    : txn_(txn), layout_(layout), allocator_(allocator), longValues_(std::move(longValues))
{
    const std::string table = "table (définition page " + std::to_string(layout.page) + ")";
    if (!detail::indexPagesSupported(txn.pageSize()))
        throw Error(Code::Unsupported, "index : pages de " + std::to_string(txn.pageSize()) +
                                           " octets non prises en charge ; table en lecture seule");

    const SortOrder databaseOrder = detail::sortOrderFromStored(databaseSortOrder(txn), layout.format->jet3);
    const size_t real = layout.physicalIndexes.size();
    for (size_t p = 0; p < real; ++p) {
        const detail::PhysicalIndex& r = layout.physicalIndexes[p];
        auto index = std::make_unique<Index>();
        index->physical = p;
        index->unique = (r.flags & detail::kIndexUnique) != 0;
        index->ignoreNulls = (r.flags & detail::kIndexIgnoreNulls) != 0;
        index->countOffset = r.rowCountOffset;
        for (size_t l = 0; l < layout.logicalToPhysical.size(); ++l) {
            if (size_t(layout.logicalToPhysical[l]) != p)
                continue;
            if (index->name.empty())
                index->name = layout.indexes[l].name;
            if (layout.indexes[l].primary)
                index->primary = index->unique = true;
        }
        if (index->name.empty())
            index->name = std::to_string(p);
        for (auto [number, ascending] : r.columns) {
            int at = -1;
            for (size_t i = 0; i < layout.columns.size(); ++i)
                if (layout.columns[i].number == number)
                    at = int(i);
            if (at < 0)
                corrupt(layout.page, "index « " + index->name + " » : colonne " + std::to_string(number) +
                                         " inexistante");
            const ColumnDef& c = layout.columns[size_t(at)];
            const KeyColumn key = detail::keyColumnOf(c, ascending, databaseOrder, *layout.format);
            std::string problem = detail::keyColumnProblem(key);
            if (problem.empty() && c.isLongValue() && (c.info.type != ColumnType::Memo || !longValues_))
                problem = "index sur une colonne Mémo ou Objet OLE";
            index->memo = index->memo || c.isLongValue();
            if (!problem.empty())
                throw Error(Code::Unsupported, "index « " + index->name + " », colonne « " + c.info.name + " » : " +
                                                   problem + " ; écriture refusée pour ne pas écrire de clé fausse");
            index->columns.push_back(at);
            index->keyColumns.push_back(key);
        }
        if (r.rootPage == 0 || r.rootPage >= txn.pageCount())
            corrupt(layout.page, "index « " + index->name + " » : page racine invalide");
        index->pages = std::make_unique<TransactionPages>(txn, allocator, r.ownedPages.raw());
        index->tree = std::make_unique<IndexTree>(*index->pages, r.rootPage, layout.page);
        indexes_.push_back(std::move(index));
    }
    (void)table;
}

IndexMaintainer::~IndexMaintainer() = default;

std::optional<std::vector<uint8_t>> IndexMaintainer::keyOf(Index& index, const std::vector<Field>& row) const
{
    static const Field none;
    auto fieldAt = [&](int c) -> const Field& { return size_t(c) < row.size() ? row[size_t(c)] : none; };
    if (index.memo)
        return computeKey(index, row);
    for (const Index::Known& k : index.known) {
        bool same = true;
        for (size_t i = 0; i < index.columns.size() && same; ++i)
            same = sameField(k.fields[i], fieldAt(index.columns[i]));
        if (same)
            return k.key;
    }
    std::optional<std::vector<uint8_t>> key = computeKey(index, row);
    Index::Known k;
    for (int c : index.columns)
        k.fields.push_back(fieldAt(c));
    k.key = key;
    constexpr size_t kKnownKeys = 4;
    if (index.known.size() < kKnownKeys) {
        index.known.push_back(std::move(k));
    } else {
        index.known[index.nextKnown] = std::move(k);
        index.nextKnown = (index.nextKnown + 1) % kKnownKeys;
    }
    return key;
}

std::optional<std::vector<uint8_t>> IndexMaintainer::computeKey(const Index& index, const std::vector<Field>& row) const
{
    std::vector<Value> values;
    bool allNull = true;
    for (int c : index.columns) {
        const Field empty;
        const Field& f = size_t(c) < row.size() ? row[size_t(c)] : empty;
        values.push_back(keyValue(layout_.columns[size_t(c)], f));
        if (!values.back().isNull())
            allNull = false;
    }
    if (index.ignoreNulls && allNull)
        return std::nullopt;
    std::vector<uint8_t> key;
    try {
        key = detail::encodeKey(index.keyColumns, values);
    } catch (const Error& e) {
        if (e.code() == Code::Unsupported && !index.stored.empty())
            if (auto it = index.stored.find(keyFields(index, row)); it != index.stored.end())
                return it->second;
        throw Error(e.code(), "index « " + index.name + " » : " + e.what());
    }
    if (key.size() > detail::maxIndexKeyLength(txn_.pageSize()))
        throw Error(Code::InvalidValue, "index « " + index.name + " » : clé de " + std::to_string(key.size()) +
                                            " octets, trop longue pour une page d'index (au plus " +
                                            std::to_string(detail::maxIndexKeyLength(txn_.pageSize())) +
                                            ") ; rien n'a été écrit");
    return key;
}

Value IndexMaintainer::keyValue(const ColumnDef& column, const Field& field) const
{
    if (column.info.type != ColumnType::Memo || field.null || field.bytes.size() < 12 ||
        (field.bytes[3] & 0xC0) == detail::kLongValueInline)
        return fieldValue(column, field);
    const std::vector<uint8_t> data = longValues_(field);
    return storedText(column, data.data(), data.size());
}

std::optional<std::vector<uint8_t>> IndexMaintainer::keyBefore(Index& index, const std::vector<Field>& before) const
{
    if (index.hasBefore && index.beforeFields.size() == index.columns.size()) {
        bool same = true;
        for (size_t i = 0; i < index.columns.size() && same; ++i) {
            const size_t c = size_t(index.columns[i]);
            same = c < before.size() && sameField(index.beforeFields[i], before[c]);
        }
        if (same)
            return index.before;
    }
    return keyOf(index, before);
}

std::string IndexMaintainer::keyFields(const Index& index, const std::vector<Field>& row)
{
    std::string out;
    for (int c : index.columns) {
        const Field empty;
        const Field& f = size_t(c) < row.size() ? row[size_t(c)] : empty;
        const uint32_t size = uint32_t(f.bytes.size());
        out += char(f.null ? 0 : f.boolean ? 2 : 1);
        out.append(reinterpret_cast<const char*>(&size), sizeof size);
        out.append(f.bytes.begin(), f.bytes.end());
    }
    return out;
}

void IndexMaintainer::keepStoredKeys(const std::vector<Field>& row, uint32_t page, uint16_t slot)
{
    for (auto& index : indexes_) {
        if (index->memo)
            continue; // a memo's field is where its text lies, not the text
        try {
            computeKey(*index, row);
            continue;
        } catch (const Error& e) {
            if (e.code() != Code::Unsupported)
                throw;
            if (!index->entriesRead) {
                for (IndexEntry& entry : index->tree->entries())
                    index->entriesByRow[{entry.dataPage, entry.dataRow}] = std::move(entry.key);
                index->entriesRead = true;
            }
            auto it = index->entriesByRow.find({page, uint8_t(slot)});
            if (slot > 0xFF || it == index->entriesByRow.end())
                throw;
            index->stored[keyFields(*index, row)] = it->second;
        }
    }
}

void IndexMaintainer::keepKeysOf(const std::vector<Field>& before)
{
    for (auto& index : indexes_)
        if (index->memo) {
            index->before = computeKey(*index, before);
            index->beforeFields.clear();
            for (int c : index->columns)
                index->beforeFields.push_back(size_t(c) < before.size() ? before[size_t(c)] : Field());
            index->hasBefore = true;
        }
}

void IndexMaintainer::checkKey(Index& index, const std::vector<Field>& row, uint32_t exceptPage, uint16_t exceptRow)
{
    if (!index.unique && !index.primary)
        return;
    bool allNull = true, anyNull = false;
    for (int c : index.columns) {
        // fieldValue() gives NULL exactly for these fields.
        const bool null = layout_.columns[size_t(c)].info.type != ColumnType::Boolean &&
                          (size_t(c) >= row.size() || row[size_t(c)].null);
        if (null)
            anyNull = true;
        else
            allNull = false;
    }
    auto values = [&] {
        std::vector<Value> v;
        for (int c : index.columns)
            v.push_back(keyValue(layout_.columns[size_t(c)], size_t(c) < row.size() ? row[size_t(c)] : Field()));
        return v;
    };
    if (index.primary && anyNull)
        throw Error(Code::Constraint, "clé primaire « " + index.name + " » : valeur manquante (" +
                                          keyText(values()) + ") ; rien n'a été écrit");
    if (allNull)
        return; // rows whose key columns are all null may repeat
    std::optional<std::vector<uint8_t>> key = keyOf(index, row);
    if (key && index.tree->containsKey(*key, exceptPage, uint8_t(exceptRow)))
        throw Error(Code::Constraint,
                    std::string(index.primary ? "clé primaire « " : "index unique « ") + index.name +
                        " » : la valeur " + keyText(values()) +
                        " existe déjà dans la table (doublon refusé) ; rien n'a été écrit");
}

void IndexMaintainer::checkInsert(const std::vector<Field>& row)
{
    for (auto& index : indexes_)
        checkKey(*index, row, 0, 0);
    // Every key must be computable before anything is written.
    for (auto& index : indexes_)
        keyOf(*index, row);
}

void IndexMaintainer::checkUpdate(const std::vector<Field>& before, const std::vector<Field>& after, uint32_t page,
                                  uint16_t row)
{
    for (auto& index : indexes_) {
        std::optional<std::vector<uint8_t>> oldKey = keyBefore(*index, before);
        std::optional<std::vector<uint8_t>> newKey = keyOf(*index, after);
        if (oldKey == newKey)
            continue;
        checkKey(*index, after, page, row);
    }
}

void IndexMaintainer::add(Index& index, const std::vector<uint8_t>& key, uint32_t page, uint16_t slot)
{
    if (slot > 0xFF)
        throw Error(Code::Corrupt, "page " + std::to_string(page) + " : numéro de ligne trop grand pour un index");
    IndexEntry e;
    e.key = key;
    e.dataPage = page;
    e.dataRow = uint8_t(slot);
    bool keyWasThere = false;
    index.tree->insert(e, &keyWasThere);
    if (!keyWasThere)
        ++index.distinctDelta;
}

void IndexMaintainer::drop(Index& index, const std::vector<uint8_t>& key, uint32_t page, uint16_t slot)
{
    IndexEntry e;
    e.key = key;
    e.dataPage = page;
    e.dataRow = uint8_t(slot);
    bool keyStillThere = false;
    if (!index.tree->remove(e, &keyStillThere))
        throw Error(Code::Corrupt, "index « " + index.name + " » : entrée absente pour la ligne (page " +
                                       std::to_string(page) + ", ligne " + std::to_string(slot) +
                                       ") ; index à reconstruire, rien n'a été écrit");
    if (!keyStillThere)
        --index.distinctDelta;
}

void IndexMaintainer::gatherEntries()
{
    for (auto& index : indexes_)
        index->gathering = index->tree->begin().atEnd() &&
                           index->tree->load(layout_.physicalIndexes[index->physical].rootPage).leaf;
}

void IndexMaintainer::insert(const std::vector<Field>& row, uint32_t page, uint16_t slot)
{
    for (auto& index : indexes_) {
        auto key = keyOf(*index, row);
        if (!key)
            continue;
        if (!index->gathering) {
            add(*index, *key, page, slot);
            continue;
        }
        if (slot > 0xFF)
            throw Error(Code::Corrupt, "page " + std::to_string(page) + " : numéro de ligne trop grand pour un index");
        index->gathered.push_back(IndexEntry{std::move(*key), page, uint8_t(slot), 0});
    }
}

void IndexMaintainer::update(const std::vector<Field>& before, const std::vector<Field>& after, uint32_t page,
                             uint16_t slot)
{
    for (auto& index : indexes_) {
        std::optional<std::vector<uint8_t>> oldKey = keyBefore(*index, before);
        index->hasBefore = false;
        std::optional<std::vector<uint8_t>> newKey = keyOf(*index, after);
        if (oldKey == newKey)
            continue;
        if (oldKey)
            drop(*index, *oldKey, page, slot);
        if (newKey)
            add(*index, *newKey, page, slot);
    }
}

void IndexMaintainer::remove(const std::vector<Field>& row, uint32_t page, uint16_t slot)
{
    for (auto& index : indexes_)
        if (auto key = keyOf(*index, row))
            drop(*index, *key, page, slot);
}

void IndexMaintainer::finish()
{
    for (auto& index : indexes_) {
        if (index->gathering) {
            const uint32_t root = layout_.physicalIndexes[index->physical].rootPage;
            std::sort(index->gathered.begin(), index->gathered.end(),
                      [](const IndexEntry& a, const IndexEntry& b) { return compareIndexEntries(a, b) < 0; });
            for (size_t i = 0; i < index->gathered.size(); ++i)
                if (i == 0 || index->gathered[i].key != index->gathered[i - 1].key)
                    ++index->distinctDelta;
            buildIndexTree(*index->pages, root, layout_.page, std::move(index->gathered));
            index->gathered.clear();
            index->gathering = false;
            index->tree = std::make_unique<IndexTree>(*index->pages, root, layout_.page);
        }
        if (index->distinctDelta == 0)
            continue;
        if (index->countOffset + 4 <= txn_.pageSize()) {
            uint8_t* t = txn_.modify(layout_.page);
            int64_t count = int64_t(rd32(t + index->countOffset)) + index->distinctDelta;
            wr32(t + index->countOffset, uint32_t(count < 0 ? 0 : count));
        }
        index->distinctDelta = 0;
    }
}

} // namespace jet::writer
