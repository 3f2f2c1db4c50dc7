#include "table/table_writer.h"

#include "table/complex_values.h"
#include "format/calculated_columns.h"
#include "format/data_page_writer.h"
#include "jet/status.h"
#include "format/text.h"

#include <algorithm>
#include <limits>
#include <random>

namespace jet::writer {

namespace {

constexpr uint8_t kLvInline = 0x80;
constexpr uint8_t kLvSingle = 0x40;
constexpr uint8_t kLvChain = 0x00;
// Free-space map pages looked at for room before a new page is taken.
constexpr int kPagesLookedAt = 32;
// A page that cannot take a row this small leaves the free-space map.
constexpr int kSmallRow = 32;
// No bound known (see TableWriter::noRoomFrom_).
constexpr int kNoBound = std::numeric_limits<int>::max();

// The first kPagesLookedAt pages of `freeMap`, looked at for one that
// `usable` accepts (returned; 0 when none does); those `leavesMap` names are
// taken out of the map. Not done for a row of `noRoomFrom` bytes or more,
// which it would not find room for (see TableWriter::noRoomFrom_), and
// `noRoomFrom` updated.
template <class Usable, class Leaves>
uint32_t searchFreeMap(Transaction& txn, PageAllocator& alloc, UsageMap& freeMap, int size, int& noRoomFrom,
                       Usable usable, Leaves leavesMap)
{
    if (size >= noRoomFrom)
        return 0;
    const std::vector<uint32_t> candidates = freeMap.pages(kPagesLookedAt);
    txn.preload(candidates);
    bool removed = false;
    for (uint32_t p : candidates) {
        if (usable(p))
            return p;
        if (leavesMap(p)) {
            freeMap.remove(p, alloc);
            removed = true;
        }
    }
    // Pages that left the map let others into the first kPagesLookedAt.
    noRoomFrom = removed ? kNoBound : size;
    return 0;
}

std::vector<uint8_t> longValueField(uint32_t length, uint8_t type, uint32_t page, uint8_t row)
{
    std::vector<uint8_t> f(12, 0);
    wr24(f.data(), length);
    f[3] = type;
    f[4] = row;
    wr24(f.data() + 5, page);
    return f;
}

} // namespace

const char* TableWriter::indexedRefusal()
{
    return "table indexée : écriture non prise en charge";
}

std::string TableWriter::autonumberRefusal(const std::string& column)
{
    return "la colonne « " + column + " » est numérotée automatiquement : sa valeur ne peut être ni choisie ni modifiée";
}

TableWriter::TableWriter(Transaction& txn, uint32_t tdefPage, bool allowIndexed, PageAllocator* allocator)
    : txn_(txn), ownAllocator_(txn), alloc_(allocator ? *allocator : ownAllocator_), layout_(detail::readTableDef(txn, tdefPage)),
      noRoomFrom_(kNoBound)
{
    if (!layout_.physicalIndexes.empty() && !allowIndexed)
        indexes_ = std::make_unique<IndexMaintainer>(txn, layout_, alloc_,
                                                     [this](const Field& f) { return longValueData(f); });
    lvPage_.assign(layout_.columns.size(), 0);
    lvRoomPages_.resize(layout_.columns.size());
    lvNoRoomFrom_.assign(layout_.columns.size(), kNoBound);
    calculated_ = std::any_of(layout_.columns.begin(), layout_.columns.end(),
                              [](const ColumnDef& c) { return c.calculated; });
}

void TableWriter::remember(std::vector<uint32_t>& pages, uint32_t page)
{
    auto at = std::find(pages.begin(), pages.end(), page);
    if (at != pages.end())
        pages.erase(at);
    pages.push_back(page);
    if (pages.size() > 64)
        pages.erase(pages.begin());
}

TableWriter::Located TableWriter::locate(RowId id)
{
    Located loc;
    loc.header = id;
    loc.data = id;
    if (id.page == 0 || id.page >= txn_.pageCount())
        throw Error(Code::NotFound, "ligne introuvable (page " + std::to_string(id.page) + ")");
    DataPage dp{const_cast<uint8_t*>(txn_.page(id.page)), txn_.pageSize()};
    if (dp.p[0] != 0x01 || dp.owner() != layout_.page || id.row >= dp.rowCount())
        throw Error(Code::NotFound, "ligne introuvable (page " + std::to_string(id.page) + ", ligne " +
                                        std::to_string(id.row) + ")");
    uint16_t s = dp.slot(id.row);
    if (s & kRowDeleted)
        throw Error(Code::NotFound, "ligne supprimée");
    if (s & kRowOverflow) {
        if (dp.rowSize(id.row) < 4)
            throw Error(Code::Corrupt, "page " + std::to_string(id.page) + " : renvoi de ligne tronqué");
        const uint8_t* r = dp.p + dp.rowStart(id.row);
        loc.moved = true;
        loc.data = RowId{rd24(r + 1), r[0]};
        if (loc.data.page == 0 || loc.data.page >= txn_.pageCount())
            throw Error(Code::Corrupt, "page " + std::to_string(id.page) + " : renvoi de ligne invalide");
        DataPage tp{const_cast<uint8_t*>(txn_.page(loc.data.page)), txn_.pageSize()};
        if (tp.p[0] != 0x01 || loc.data.row >= tp.rowCount())
            throw Error(Code::Corrupt, "page " + std::to_string(loc.data.page) + " : ligne déplacée introuvable");
    }
    return loc;
}

std::vector<Field> TableWriter::fields(RowId id)
{
    Located loc = locate(id);
    DataPage dp{const_cast<uint8_t*>(txn_.page(loc.data.page)), txn_.pageSize()};
    return decodeFields(layout_, dp.p + dp.rowStart(loc.data.row), size_t(dp.rowSize(loc.data.row)),
                        loc.data.page);
}

void TableWriter::noteFreeSpace(uint32_t page)
{
    DataPage dp{const_cast<uint8_t*>(txn_.page(page)), txn_.pageSize()};
    noRoomFrom_ = kNoBound;
    if (dp.owner() == layout_.page) {
        remember(roomPages_, page);
        UsageMap freeMap(txn_, layout_.freeSpacePages);
        if (!freeMap.contains(page))
            freeMap.add(page, alloc_);
    }
}

uint32_t TableWriter::pageWithRoom(int size)
{
    auto usable = [&](uint32_t p) {
        if (p == 0 || p >= txn_.pageCount())
            return false;
        DataPage dp{const_cast<uint8_t*>(txn_.page(p)), txn_.pageSize()};
        return dp.p[0] == 0x01 && dp.owner() == layout_.page && dp.fits(size);
    };
    // A page the search takes out of the free-space map: one that cannot
    // take another row.
    auto leavesMap = [&](uint32_t p) {
        if (p >= txn_.pageCount())
            return false;
        DataPage dp{const_cast<uint8_t*>(txn_.page(p)), txn_.pageSize()};
        const bool ours = dp.p[0] == 0x01 && dp.owner() == layout_.page;
        return ours && (dp.rowCount() >= dp.maxRows() || !dp.fits(kSmallRow));
    };
    if (insertPage_ && usable(insertPage_))
        return insertPage_;
    if (insertPage_) // left: it takes no row of `size` bytes or more, or leaves the map at the next search
        noRoomFrom_ = leavesMap(insertPage_) ? kNoBound : std::max(noRoomFrom_, size);
    for (auto it = roomPages_.rbegin(); it != roomPages_.rend(); ++it)
        if (usable(*it)) {
            insertPage_ = *it;
            return insertPage_;
        }
    // A page of the free-space map with room: the space that deleted,
    // shrunk or moved rows left. Pages that cannot take another row leave
    // the map (noteFreeSpace() puts them back when they get room again).
    UsageMap freeMap(txn_, layout_.freeSpacePages);
    if (int64_t last = freeMap.last(); last > 0 && usable(uint32_t(last))) {
        insertPage_ = uint32_t(last); // where the last rows went: most often it
        return insertPage_;
    }
    if (uint32_t p = searchFreeMap(txn_, alloc_, freeMap, size, noRoomFrom_, usable, leavesMap)) {
        insertPage_ = p;
        return p;
    }
    uint32_t page = alloc_.allocate();
    DataPage::init(txn_.modify(page), txn_.pageSize(), layout_.page);
    UsageMap owned(txn_, layout_.ownedPages);
    owned.add(page, alloc_);
    UsageMap freeMap2(txn_, layout_.freeSpacePages);
    freeMap2.add(page, alloc_);
    insertPage_ = page;
    return page;
}

uint32_t TableWriter::longValuePageWithRoom(const ColumnDef& c, int size)
{
    size_t ci = size_t(&c - layout_.columns.data());
    auto usable = [&](uint32_t p) {
        if (p == 0 || p >= txn_.pageCount())
            return false;
        DataPage dp{const_cast<uint8_t*>(txn_.page(p)), txn_.pageSize()};
        return dp.p[0] == 0x01 && dp.owner() == kLongValueOwner && dp.fitsReusing(size);
    };
    auto leavesMap = [&](uint32_t p) { // full: not worth looking at again
        if (p >= txn_.pageCount())
            return false;
        DataPage dp{const_cast<uint8_t*>(txn_.page(p)), txn_.pageSize()};
        return dp.p[0] == 0x01 && dp.owner() == kLongValueOwner &&
               !dp.fitsReusing(layout_.format->maxInlineLongValue + 1);
    };
    if (lvPage_[ci] && usable(lvPage_[ci]))
        return lvPage_[ci];
    if (lvPage_[ci])
        lvNoRoomFrom_[ci] = leavesMap(lvPage_[ci]) ? kNoBound : std::max(lvNoRoomFrom_[ci], size);
    for (auto it = lvRoomPages_[ci].rbegin(); it != lvRoomPages_[ci].rend(); ++it)
        if (usable(*it)) {
            lvPage_[ci] = *it;
            return *it;
        }
    if (!c.longValueFree.null()) {
        UsageMap freeMap(txn_, c.longValueFree);
        if (uint32_t p = searchFreeMap(txn_, alloc_, freeMap, size, lvNoRoomFrom_[ci], usable, leavesMap)) {
            lvPage_[ci] = p;
            return p;
        }
    }
    uint32_t page = alloc_.allocate();
    DataPage::init(txn_.modify(page), txn_.pageSize(), kLongValueOwner);
    if (c.hasLongValueMaps()) {
        UsageMap owned(txn_, c.longValueOwned);
        owned.add(page, alloc_);
        UsageMap freeMap(txn_, c.longValueFree);
        freeMap.add(page, alloc_);
    }
    lvPage_[ci] = page;
    return page;
}

std::vector<uint8_t> TableWriter::writeLongValue(const ColumnDef& c, const std::vector<uint8_t>& data)
{
    const uint32_t length = uint32_t(data.size());
    if (length > 0x3FFFFFFF)
        throw Error(Code::InvalidValue, "valeur trop longue pour la colonne « " + c.info.name + " »");
    if (length <= uint32_t(layout_.format->maxInlineLongValue)) {
        std::vector<uint8_t> f = longValueField(length, kLvInline, 0, 0);
        f.insert(f.end(), data.begin(), data.end());
        return f;
    }
    if (length <= uint32_t(layout_.format->longValueChunkMax)) {
        uint32_t page = longValuePageWithRoom(c, int(length));
        DataPage dp{txn_.modify(page), txn_.pageSize()};
        int row = dp.addRowReusing(data.data(), int(length));
        return longValueField(length, kLvSingle, page, uint8_t(row));
    }
    // A chain of long-value rows, each holding the pointer to the next one.
    // Written from the last chunk back, so that each knows its successor.
    const size_t chunk = size_t(layout_.format->longValueChunkMax) - 4; // after the next chunk's pointer
    size_t chunks = (data.size() + chunk - 1) / chunk;
    uint32_t nextPage = 0;
    uint8_t nextRow = 0;
    for (size_t k = chunks; k-- > 0;) {
        size_t begin = k * chunk;
        size_t end = std::min(data.size(), begin + chunk);
        std::vector<uint8_t> row(4 + (end - begin));
        row[0] = nextRow;
        wr24(row.data() + 1, nextPage);
        std::copy(data.begin() + long(begin), data.begin() + long(end), row.begin() + 4);
        uint32_t page = longValuePageWithRoom(c, int(row.size()));
        DataPage dp{txn_.modify(page), txn_.pageSize()};
        nextRow = uint8_t(dp.addRowReusing(row.data(), int(row.size())));
        nextPage = page;
    }
    return longValueField(length, kLvChain, nextPage, nextRow);
}

void TableWriter::deleteSlot(uint32_t page, uint16_t row, bool longValuePage, const ColumnDef* lvColumn)
{
    DataPage dp{txn_.modify(page), txn_.pageSize()};
    if (row >= dp.rowCount())
        throw Error(Code::Corrupt, "page " + std::to_string(page) + " : ligne " + std::to_string(row) + " absente");
    dp.replaceRow(row, nullptr, 0);
    dp.setSlot(row, uint16_t(dp.slot(row) | kRowDeleted | kRowOverflow));
    if (!longValuePage) {
        noteFreeSpace(page);
        return;
    }
    std::fill(lvNoRoomFrom_.begin(), lvNoRoomFrom_.end(), kNoBound);
    if (!lvColumn || !lvColumn->hasLongValueMaps())
        return; // a page of no map of its own
    // Nothing points into a page whose rows are all deleted: it starts
    // afresh (no row numbers left over) and stays the column's.
    UsageMap owned(txn_, lvColumn->longValueOwned);
    if (dp.allDeleted() && owned.contains(page))
        DataPage::init(dp.p, txn_.pageSize(), kLongValueOwner);
    remember(lvRoomPages_[size_t(lvColumn - layout_.columns.data())], page);
    UsageMap freeMap(txn_, lvColumn->longValueFree);
    if (!freeMap.contains(page))
        freeMap.add(page, alloc_);
}

void TableWriter::freeLongValue(const ColumnDef& c, const Field& f)
{
    if (f.null || f.bytes.size() < 12)
        return;
    const uint8_t type = f.bytes[3];
    if (type == kLvInline)
        return;
    uint32_t page = rd24(f.bytes.data() + 5);
    uint8_t row = f.bytes[4];
    if (type == kLvSingle) {
        deleteSlot(page, row, true, &c);
        return;
    }
    int guard = 0;
    while (page != 0) {
        if (++guard > 300000 || page >= txn_.pageCount())
            throw Error(Code::Corrupt, "page " + std::to_string(page) + " : chaîne de valeur longue invalide");
        DataPage dp{const_cast<uint8_t*>(txn_.page(page)), txn_.pageSize()};
        if (dp.p[0] != 0x01 || row >= dp.rowCount() || dp.rowSize(row) < 4)
            throw Error(Code::Corrupt, "page " + std::to_string(page) + " : chaîne de valeur longue invalide");
        const uint8_t* r = dp.p + dp.rowStart(row);
        uint8_t nextRow = r[0];
        uint32_t nextPage = rd24(r + 1);
        deleteSlot(page, row, true, &c);
        page = nextPage;
        row = nextRow;
    }
}

std::vector<uint8_t> TableWriter::longValueData(const Field& f, std::vector<uint32_t>* pages)
{
    std::vector<uint8_t> out;
    if (f.null || f.bytes.size() < 12 || f.bytes[3] == kLvInline)
        return out;
    const uint32_t length = rd24(f.bytes.data());
    uint32_t page = rd24(f.bytes.data() + 5);
    uint8_t row = f.bytes[4];
    const bool single = f.bytes[3] == kLvSingle;
    int guard = 0;
    while (page != 0) {
        if (++guard > 300000 || page >= txn_.pageCount())
            throw Error(Code::Corrupt, "page " + std::to_string(page) + " : chaîne de valeur longue invalide");
        DataPage dp{const_cast<uint8_t*>(txn_.page(page)), txn_.pageSize()};
        if (dp.p[0] != 0x01 || row >= dp.rowCount() || (dp.slot(row) & kRowDeleted) ||
            dp.rowSize(row) < (single ? 0 : 4))
            throw Error(Code::Corrupt, "page " + std::to_string(page) + " : valeur longue introuvable");
        if (pages)
            pages->push_back(page);
        const uint8_t* r = dp.p + dp.rowStart(row);
        if (single) {
            out.assign(r, r + dp.rowSize(row));
            break;
        }
        out.insert(out.end(), r + 4, r + dp.rowSize(row));
        row = r[0];
        page = rd24(r + 1);
    }
    if (out.size() != length)
        throw Error(Code::Corrupt, "valeur longue de " + std::to_string(out.size()) + " octets au lieu de " +
                                       std::to_string(length));
    return out;
}

RowId TableWriter::addRow(const std::vector<Field>& fields)
{
    std::vector<uint8_t> row = encodeRow(layout_, fields);
    if (indexes_)
        indexes_->checkInsert(fields);
    uint32_t page = pageWithRoom(int(row.size()));
    DataPage dp{txn_.modify(page), txn_.pageSize()};
    int slot = dp.addRow(row.data(), int(row.size()));
    if (indexes_)
        indexes_->insert(fields, page, uint16_t(slot));
    ++rowDelta_;
    return RowId{page, uint16_t(slot)};
}

RowId TableWriter::insertStored(std::vector<Field> fields,
                                const std::vector<std::optional<std::vector<uint8_t>>>& longValues)
{
    fields.resize(layout_.columns.size());
    for (size_t i = 0; i < layout_.columns.size() && i < longValues.size(); ++i)
        if (layout_.columns[i].isLongValue() && longValues[i])
            fields[i] = longValueFieldFor(layout_.columns[i], *longValues[i]);
    return addRow(fields);
}

void TableWriter::keepStoredKeys(RowId id, const std::vector<Field>& fields)
{
    if (indexes_)
        indexes_->keepStoredKeys(fields, id.page, id.row);
}

void TableWriter::releaseEmptyPage(uint32_t page)
{
    for (detail::RowPointer pointer : rowUsageMaps(layout_)) {
        UsageMap map(txn_, pointer);
        if (map.contains(page))
            map.remove(page, alloc_);
    }
    if (insertPage_ == page)
        insertPage_ = 0;
    noRoomFrom_ = kNoBound;
    std::fill(lvNoRoomFrom_.begin(), lvNoRoomFrom_.end(), kNoBound);
    for (uint32_t& current : lvPage_)
        if (current == page)
            current = 0;
    alloc_.release(page);
}

void TableWriter::freeFieldsLongValues(const std::vector<Field>& fields)
{
    for (size_t i = 0; i < layout_.columns.size(); ++i)
        if (layout_.columns[i].isLongValue())
            freeLongValue(layout_.columns[i], fields[i]);
}

std::optional<std::vector<uint8_t>> TableWriter::longValueBytes(size_t i, const Value& v)
{
    const ColumnDef& c = layout_.columns[i];
    if (v.isNull())
        return std::nullopt;
    if (c.info.type == ColumnType::Memo) {
        if (v.kind() != Value::Kind::Text)
            throw Error(Code::InvalidValue, "valeur de type incompatible pour la colonne « " + c.info.name + " » (" +
                                                columnTypeName(c.info.type) + ")");
        return encodeColumnText(c, v.asText());
    }
    if (v.kind() != Value::Kind::Binary)
        throw Error(Code::InvalidValue, "valeur de type incompatible pour la colonne « " + c.info.name + " » (" +
                                            columnTypeName(c.info.type) + ")");
    return v.asBinary();
}

Field TableWriter::longValueFieldFor(const ColumnDef& c, const std::vector<uint8_t>& data)
{
    Field f;
    f.null = false;
    f.bytes = writeLongValue(c, data);
    return f;
}

Field TableWriter::encodeColumn(size_t i, const Value& v)
{
    const ColumnDef& c = layout_.columns[i];
    if (!c.isLongValue())
        return encodeValue(c, v);
    std::optional<std::vector<uint8_t>> data = longValueBytes(i, v);
    return data ? longValueFieldFor(c, *data) : Field();
}

void TableWriter::refuseCalculatedColumns() const
{
    if (calculated_)
        detail::refuseWritesToCalculatedTable(layout_);
}

RowId TableWriter::insert(const std::vector<Value>& values, int64_t* autonumber)
{
    refuseCalculatedColumns();
    std::vector<Field> fields(layout_.columns.size());
    uint32_t complexId = 0; // one for all the row's complex columns, as Access gives it
    for (size_t i = 0; i < layout_.columns.size(); ++i) {
        const ColumnDef& c = layout_.columns[i];
        if (c.rawType == uint8_t(ColumnType::Complex)) {
            if (i < values.size() && !values[i].isNull())
                throw Error(Code::InvalidValue, "colonne « " + c.info.name +
                                                    " » : son identifiant est donné par la base, pas de valeur à y mettre");
            if (complexId == 0) {
                complexId = ++layout_.lastComplexId;
                autonumberChanged_ = true;
            }
            fields[i].null = false;
            fields[i].bytes = {uint8_t(complexId), uint8_t(complexId >> 8), uint8_t(complexId >> 16),
                               uint8_t(complexId >> 24)};
            continue;
        }
        if ((c.flags & detail::kColumnAutonumber) && c.info.type == ColumnType::Long) {
            if (i < values.size() && !values[i].isNull())
                throw Error(Code::InvalidValue, autonumberRefusal(c.info.name));
            uint32_t next = ++layout_.nextAutonumber;
            autonumberChanged_ = true;
            if (autonumber)
                *autonumber = next;
            fields[i].null = false;
            fields[i].bytes = {uint8_t(next), uint8_t(next >> 8), uint8_t(next >> 16), uint8_t(next >> 24)};
            continue;
        }
        if ((c.flags & detail::kColumnAutoGuid) && c.info.type == ColumnType::Guid && (i >= values.size() || values[i].isNull())) {
            static std::mt19937_64 rng{std::random_device{}()};
            fields[i].null = false;
            for (int k = 0; k < 16; ++k)
                fields[i].bytes.push_back(uint8_t(rng()));
            continue;
        }
        const Value& v = i < values.size() ? values[i] : Value();
        if (c.isLongValue())
            continue; // after the fixed and text columns, so that type errors come first
        fields[i] = encodeColumn(i, v);
    }
    for (size_t i = 0; i < layout_.columns.size(); ++i)
        if (layout_.columns[i].isLongValue() && i < values.size())
            fields[i] = encodeColumn(i, values[i]);
    return addRow(fields);
}

void TableWriter::update(RowId id, const std::vector<std::optional<Value>>& changes)
{
    refuseCalculatedColumns();
    Located loc = locate(id);
    std::vector<Field> old = fields(id);
    std::vector<Field> now = old;
    for (size_t i = 0; i < layout_.columns.size() && i < changes.size(); ++i) {
        if (changes[i] && (layout_.columns[i].flags & detail::kColumnAutonumber))
            throw Error(Code::InvalidValue, autonumberRefusal(layout_.columns[i].info.name));
        if (!changes[i] || layout_.columns[i].isLongValue())
            continue;
        now[i] = encodeColumn(i, *changes[i]);
    }
    // A long value rewritten gives its pages back first, so that the new
    // value takes them again instead of new ones. Should anything below be
    // refused, the whole write is given up, this with it. The keys of
    // indexed Memo values are taken before.
    if (indexes_)
        indexes_->keepKeysOf(old);
    for (size_t i = 0; i < layout_.columns.size() && i < changes.size(); ++i) {
        if (!changes[i] || !layout_.columns[i].isLongValue())
            continue;
        std::optional<std::vector<uint8_t>> data = longValueBytes(i, *changes[i]);
        freeLongValue(layout_.columns[i], old[i]);
        now[i] = data ? longValueFieldFor(layout_.columns[i], *data) : Field();
    }
    std::vector<uint8_t> row = encodeRow(layout_, now);
    const int size = int(row.size());
    if (indexes_)
        indexes_->checkUpdate(old, now, id.page, id.row);

    DataPage dataPage{txn_.modify(loc.data.page), txn_.pageSize()};
    const int oldSize = dataPage.rowSize(loc.data.row);
    const int room = dataPage.room();
    if (size - oldSize <= room) {
        dataPage.replaceRow(loc.data.row, row.data(), size);
        if (size < oldSize)
            noteFreeSpace(loc.data.page);
    } else {
        DataPage header{txn_.modify(loc.header.page), txn_.pageSize()};
        const int headerRoom = header.room();
        if (loc.moved && size - header.rowSize(loc.header.row) <= headerRoom) {
            // The row fits on its own page again: bring it home.
            header.replaceRow(loc.header.row, row.data(), size);
            header.setSlot(loc.header.row, uint16_t(header.slot(loc.header.row) & ~kRowOverflow));
            deleteSlot(loc.data.page, loc.data.row, false, nullptr);
        } else {
            uint32_t target = pageWithRoom(size);
            DataPage tp{txn_.modify(target), txn_.pageSize()};
            int slot = tp.addRow(row.data(), size, kRowDeleted);
            if (loc.moved)
                deleteSlot(loc.data.page, loc.data.row, false, nullptr);
            uint8_t pointer[4];
            pointer[0] = uint8_t(slot);
            wr24(pointer + 1, target);
            DataPage hp{txn_.modify(loc.header.page), txn_.pageSize()};
            const int before = hp.rowSize(loc.header.row);
            hp.replaceRow(loc.header.row, pointer, 4);
            hp.setSlot(loc.header.row, uint16_t(hp.slot(loc.header.row) | kRowOverflow));
            if (before > 4)
                noteFreeSpace(loc.header.page);
        }
    }
    if (indexes_)
        indexes_->update(old, now, id.page, id.row);
}

void TableWriter::remove(RowId id, bool keepComplexValues)
{
    Located loc = locate(id);
    std::vector<Field> old = fields(id);
    if (!keepComplexValues)
        removeComplexValues(txn_, layout_, complexIdOf(layout_, old), alloc_);
    if (indexes_)
        indexes_->remove(old, id.page, id.row);
    freeFieldsLongValues(old);
    if (loc.moved)
        deleteSlot(loc.data.page, loc.data.row, false, nullptr);
    deleteSlot(loc.header.page, loc.header.row, false, nullptr);
    --rowDelta_;
}

void TableWriter::finish()
{
    if (indexes_)
        indexes_->finish();
    if (rowDelta_ == 0 && !autonumberChanged_)
        return;
    uint8_t* t = txn_.modify(layout_.page);
    const detail::FormatInfo& f = *layout_.format;
    int64_t count = int64_t(rd32(t + f.tdefRowCount)) + rowDelta_;
    if (count < 0)
        count = 0;
    wr32(t + f.tdefRowCount, uint32_t(count));
    if (autonumberChanged_) {
        wr32(t + f.tdefNextAutonumber, layout_.nextAutonumber);
        if (f.tdefLastComplexId >= 0)
            wr32(t + f.tdefLastComplexId, layout_.lastComplexId);
    }
    layout_.rowCount = uint32_t(count);
    rowDelta_ = 0;
    autonumberChanged_ = false;
}

} // namespace jet::writer
