#include "database/recordset_impl.h"

#include "sql/index_query.h"
#include "index/index_reader.h"
#include "sql/row_order.h"
#include "format/table_scan.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace jet::detail {

RecordsetImpl::RecordsetImpl(std::shared_ptr<Storage> storage, std::shared_ptr<const TableDef> table,
                             sql::Select* select, bool readOnly)
    : storage_(std::move(storage)),
      table_(std::move(table)),
      readOnly_(readOnly),
      reader_(storage_->file(), storage_->format(), *table_)
{
    for (const ColumnDef& c : table_->columns)
        columns_.push_back(c.info);
    columnDefs_ = table_->columns.data();
    columnCount_ = table_->columns.size();
    for (const ColumnDef& c : table_->columns)
        if (storedOnOtherPages(c))
            longColumns_.push_back(&c);
    reader_.useLongValues(&longValues_);

    if (select)
        select_ = std::move(*select);
    collectRows(readOnly_);
    position_ = 0;
}

void RecordsetImpl::collectRows(bool lazy) const
{
    const PageFile& file = storage_->file();
    const FormatInfo& f = storage_->format();
    const sql::Select* select = select_ ? &*select_ : nullptr;
    const sql::Condition* where = select && select->where ? select->where.get() : nullptr;
    const bool ordered = select && !select->orderBy.empty();
    std::optional<RowOrder> sorter;
    if (ordered)
        sorter.emplace(*table_, select->orderBy, storedDatabaseSortOrder(file, f), f.jet3);

    RowReader reader(file, f, *table_);
    rows_.clear();
    walk_.reset();
    rows_.reserve(table_->rowCount < 10000000 ? table_->rowCount : 0);
    // An index serves the condition (a superset of the rows, evaluated
    // below) or the order; otherwise the table is scanned.
    std::optional<std::vector<RowPointer>> viaIndex;
    try {
        if (where)
            viaIndex = indexCandidates(file, f, *table_, *where);
        else if (ordered)
            viaIndex = indexOrder(file, f, *table_, select->orderBy);
    } catch (const Error&) {
        viaIndex.reset(); // an index that cannot be read: the scan still answers
    }
    const bool inIndexOrder = viaIndex && !where;
    if (viaIndex && where) {
        // Physical order, as a scan gives.
        std::sort(viaIndex->begin(), viaIndex->end(), [](const RowPointer& a, const RowPointer& b) {
            return a.page != b.page ? a.page < b.page : a.row < b.row;
        });
    }

    auto visit = [&](RowPointer where_) {
        if (!where && !ordered) {
            rows_.push_back(Bookmark{where_.page, where_.row});
            return;
        }
        ByteRange row(file, where_.page, nullptr, 0);
        if (!rowData(file, f, where_, row))
            return;
        reader.load(row);
        if (where && sql::evaluate(*where, *table_, reader) != sql::Truth::True)
            return;
        rows_.push_back(Bookmark{where_.page, where_.row});
        if (sorter)
            sorter->add(reader);
    };
    if (inIndexOrder) {
        for (const RowPointer& p : *viaIndex)
            rows_.push_back(Bookmark{p.page, p.row});
    } else if (viaIndex) {
        for (const RowPointer& p : *viaIndex)
            visit(p);
    } else if (lazy && !where && !ordered) {
        walk_ = std::make_unique<TableWalk>(file, f, *table_);
    } else {
        scanTable(file, f, *table_, visit);
    }

    if (ordered && !inIndexOrder) {
        // Sorted as an index on the columns would read them (row_order.h).
        const std::vector<size_t> order = sorter->order();
        std::vector<Bookmark> sorted;
        sorted.reserve(rows_.size());
        for (size_t i : order)
            sorted.push_back(rows_[i]);
        rows_ = std::move(sorted);
    }
}

void RecordsetImpl::refuseWrite() const
{
    if (readOnly_)
        throw Error(Code::ReadOnly, "base ouverte en lecture seule : modification impossible");
    throw Error(Code::Unsupported, "écriture non prise en charge");
}

bool RecordsetImpl::walkTo(long i) const
{
    Storage::ReadScope scope(*storage_);
    while (i < 0 || size_t(i) >= rows_.size()) {
        if (!walk_->next(rows_)) {
            walk_.reset();
            break;
        }
    }
    return i >= 0 && size_t(i) < rows_.size();
}

void RecordsetImpl::requireRows() const
{
    if (!reach(0))
        throw Error(Code::NoCurrentRow, "aucun enregistrement : le jeu d'enregistrements est vide");
}

void RecordsetImpl::moveFirst()
{
    requireRows();
    position_ = 0;
}

void RecordsetImpl::moveLast()
{
    requireRows();
    finishWalk();
    position_ = long(rows_.size()) - 1;
}

void RecordsetImpl::moveNext()
{
    requireRows();
    if (eof())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours : déjà après le dernier");
    ++position_;
}

void RecordsetImpl::movePrevious()
{
    requireRows();
    if (bof())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours : déjà avant le premier");
    --position_;
}

const RowReader& RecordsetImpl::loadCurrentRow() const
{
    if (!hasCurrent())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours");
    if (loaded_ == position_)
        return reader_;
    if (!currentRowCopied())
        copyRowsAround(position_);
    const RowCopy& c = copies_[size_t(position_ - copyStart_)];
    if (c.deleted)
        throw Error(Code::NoCurrentRow, "l'enregistrement a été supprimé");
    reader_.load(ByteRange(storage_->file(), c.page, copyBytes_.get() + c.offset, c.size));
    loaded_ = position_;
    return reader_;
}

void RecordsetImpl::copyRowsAround(long position) const
{
    // 32 rows at first; twice as many each time the next copy continues
    // the previous one, up to a limit that keeps another process's changes
    // from waiting long to show where rows can be edited.
    constexpr long kFirstRun = 32;
    const long maxRun = readOnly_ ? 1024 : 256;
    Storage::ReadScope scope(*storage_);
    const bool backward = loaded_ >= 0 && position < copyStart_;
    const bool continues = loaded_ >= 0 && !copies_.empty() &&
                           (backward ? position == copyStart_ - 1
                                     : position == copyStart_ + long(copies_.size()));
    copyRun_ = continues ? std::min(copyRun_ * 2, maxRun) : kFirstRun;
    if (!backward)
        reach(position + copyRun_ - 1); // the walk, if any, goes as far as the copy
    const long first = backward ? std::max(0L, position - copyRun_ + 1) : position;
    const long last = backward ? position : std::min(long(rows_.size()) - 1, position + copyRun_ - 1);
    copyRows(first, last, position);
}

void RecordsetImpl::fetchAll()
{
    // The rows of the set are selected again, under the same hold as their
    // copies: what the set holds and what its rows say are of one commit.
    Storage::ReadScope scope(*storage_);
    const bool onRow = position_ >= 0 && size_t(position_) < rows_.size();
    const Bookmark current = onRow ? rows_[size_t(position_)] : Bookmark{};
    collectRows(false);
    positions_.clear();
    if (onRow) {
        auto it = std::find(rows_.begin(), rows_.end(), current);
        if (it != rows_.end())
            position_ = long(it - rows_.begin());
    }
    if (position_ > long(rows_.size()))
        position_ = long(rows_.size());
    if (rows_.empty()) {
        loaded_ = -1;
        copies_.clear();
        return;
    }
    copyRows(0, long(rows_.size()) - 1, -1);
    copiedAll_ = true;
}

void RecordsetImpl::copyRows(long first, long last, long position) const
{
    const PageFile& file = storage_->file();
    const FormatInfo& f = storage_->format();
    loaded_ = -1;
    copiedAll_ = false;
    copies_.clear();
    longValues_.clear();
    copyStart_ = first;
    // Where each row lies first, then one copy of them all.
    std::vector<const uint8_t*> sources;
    copies_.reserve(size_t(last - first + 1));
    sources.reserve(size_t(last - first + 1));
    size_t total = 0;
    for (long i = first; i <= last; ++i) {
        const Bookmark& b = rows_[size_t(i)];
        ByteRange row(file, b.page, nullptr, 0);
        RowCopy c;
        c.page = b.page;
        try {
            c.deleted = !rowData(file, f, RowPointer{b.page, b.row}, row);
        } catch (const Error&) {
            if (i == position)
                throw;
            // A neighbour that cannot be read: stop the copies before it
            // (after the asked row), or start them after it (before).
            if (i > position && position >= 0)
                break;
            copies_.clear();
            sources.clear();
            total = 0;
            copyStart_ = i + 1;
            continue;
        }
        if (!c.deleted) {
            c.offset = total;
            c.size = row.size();
            total += row.size();
        }
        copies_.push_back(c);
        sources.push_back(row.data());
    }
    if (total > copyCapacity_) {
        copyBytes_ = std::make_unique_for_overwrite<uint8_t[]>(total);
        copyCapacity_ = total;
    }
    for (size_t k = 0; k < copies_.size(); ++k)
        if (!copies_[k].deleted)
            std::memcpy(copyBytes_.get() + copies_[k].offset, sources[k], copies_[k].size);
    if (longColumns_.empty())
        return;
    // Under the same hold: the long values the copied rows point to now.
    RowReader reader(file, f, *table_);
    for (const RowCopy& c : copies_) {
        if (c.deleted)
            continue;
        try {
            reader.load(ByteRange(file, c.page, copyBytes_.get() + c.offset, c.size));
            for (const ColumnDef* column : longColumns_) {
                const uint8_t* data = nullptr;
                size_t size = 0;
                if (reader.columnBytes(*column, data, size))
                    longValues_.copy(file, f, ByteRange(file, c.page, data, size));
            }
        } catch (const Error&) {
            // A row that cannot be decoded says so when it is shown.
        }
    }
}

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void noSuchColumn(int column, const std::string& table)
{
    throw Error(Code::NotFound, "colonne " + std::to_string(column) + " inexistante dans " + table);
}

} // namespace

Value RecordsetImpl::value(int column) const
{
    if (size_t(column) >= columnCount_) [[unlikely]] // negative ones too
        noSuchColumn(column, table_->name);
    return currentRow().value(columnDefs_[column]);
}

Bookmark RecordsetImpl::bookmark() const
{
    if (!hasCurrent())
        throw Error(Code::NoCurrentRow, "aucun enregistrement en cours");
    return rows_[size_t(position_)];
}

void RecordsetImpl::setAbsolutePosition(long position)
{
    if (position < 0 || !reach(position))
        throw Error(Code::NotFound, "position " + std::to_string(position) + " hors du jeu d'enregistrements");
    position_ = position;
}

void RecordsetImpl::setBookmark(Bookmark b)
{
    finishWalk();
    if (positions_.empty()) {
        positions_.reserve(rows_.size());
        for (size_t i = 0; i < rows_.size(); ++i)
            positions_.emplace(uint64_t(rows_[i].page) << 16 | rows_[i].row, long(i));
    }
    auto it = positions_.find(uint64_t(b.page) << 16 | b.row);
    if (!b.valid() || it == positions_.end())
        throw Error(Code::NotFound, "signet invalide : enregistrement absent de ce jeu");
    position_ = it->second;
}

} // namespace jet::detail
