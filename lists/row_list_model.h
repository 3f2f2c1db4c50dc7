// The rows of one table as a list: a table model over a read-only dynaset
// of the database file. The view is given rows in batches as it asks for
// them (canFetchMore/fetchMore), so opening the list on a large table reads
// only its first batch of rows (read at once, as are the first rows after
// each change of sort or filter). Rows are held in blocks of `batchSize`,
// at most `blocksKept` of them: the block used least recently is dropped
// and read again from the dynaset, by position, when the view comes back
// to it, so that memory stays bounded however far the list is scrolled.
// Sorting reopens the dynaset with ORDER BY (the engine uses the column's
// index when there is one, its text collation otherwise).
//
// The filter keeps the rows where every typed word occurs in one of the
// searched columns, compared as the General sort order compares text (case,
// accents and punctuation ignored). The typed text never reaches SQL: the
// searched columns of every row are read once into keys (while the list is
// idle, or by the first filter), and each keystroke then scans those keys.
//
// "En cours seulement" selects the outstanding rows (those "En Cours"
// selects) and adds the column "En cours depuis" with their age in days;
// rows older than the threshold carry a background colour.
#pragma once

#include "jet/database.h"
#include "jet/recordset.h"
#include "lists/large_array.h"
#include "lists/list_design.h"

#include <QAbstractTableModel>
#include <QDate>
#include <memory>
#include <string>
#include <vector>

namespace velmor {

class RowListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int batchSize = 200;
    static constexpr int blocksKept = 20;
    // The whole stored value of a cell (a QString, or a QDate for dates),
    // for export.
    static constexpr int ValueRole = Qt::UserRole;
    // True on an outstanding row older than the threshold.
    static constexpr int OverdueRole = Qt::UserRole + 1;

    // Throws jet::Error when the table cannot be read.
    RowListModel(std::shared_ptr<jet::Database> database, const ListDesign& design,
                 QObject* parent = nullptr);
    ~RowListModel() override;

    const ListDesign& design() const { return design_; }

    // The day ages count to (today unless set), and the threshold in days.
    void setToday(const QDate& today);
    void setThreshold(int days);
    int threshold() const { return threshold_; }

    void setFilter(const QString& typed);
    QString filter() const { return filter_; }
    void setOutstandingOnly(bool only);
    bool outstandingOnly() const { return outstandingOnly_; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }

    // The rows the list shows (read so far or not), and the rows of the table.
    long matchCount() const;
    long tableCount() const;
    // "8 fiches", or "2 fiches sur 8" while a filter or "En cours seulement" is on.
    QString countText() const;
    // Rows whose values were read from the file since the last reset
    // (a row read again after its block was dropped counts again).
    long rowsRead() const { return rowsRead_; }
    // Blocks of rows held at most (blocksKept unless set; at least 1).
    void setBlocksKept(int blocks);

    // Reads the searched columns of up to `rows` more rows into the keys the
    // filter scans (the first filter does it for every row that is left);
    // true once every row has its key. The list calls it while idle.
    bool prepareSearch(long rows);

    jet::Bookmark bookmarkAt(int row) const;
    // Gives the view every remaining row (export, printing); their values
    // are read as they are asked for.
    void fetchAllRows();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex& parent = QModelIndex()) override;

signals:
    // matchCount() or countText() changed.
    void countChanged();

private:
    struct Row {
        jet::Bookmark bookmark;
        std::vector<jet::Value> values; // the design's fields, in order
        int age = -1;                   // days outstanding; -1 when not shown or unknown
    };

    struct Block {
        std::vector<Row> rows;
        unsigned long lastUse = 0;
    };

    QString selectText() const;
    void reopen();                    // a new dynaset for the sort and the outstanding choice
    void rebuild();                   // rows shown anew from the dynaset (filter applied)
    const Row& rowAt(long row) const; // reads its block when not held
    void readBlock(size_t block) const;
    Row readRow(long row) const;
    int fieldCount() const;

    std::shared_ptr<jet::Database> database_;
    const ListDesign& design_;
    std::vector<int> fieldColumns_; // dynaset column of each field
    std::vector<int> searchColumns_;
    int ageFromColumn_ = -1;
    std::unique_ptr<jet::Recordset> rows_;
    QDate today_;
    int threshold_ = 30;
    QString filter_;
    std::vector<std::string> words_; // keys of the typed words
    bool outstandingOnly_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;

    // The keys of the dynaset's first rows, in its order, one after the
    // other (one allocation, kept across sorts), and where each row's ends.
    LargeArray<char> keyText_;
    LargeArray<uint32_t> keyEnds_;
    LargeArray<long> matches_; // dynaset positions of the rows shown while filtering
    bool filtering_ = false;

    long shown_ = 0;                                     // rows given to the view
    mutable std::vector<std::unique_ptr<Block>> blocks_; // by number; null when not held
    mutable int blocksHeld_ = 0;
    mutable unsigned long useClock_ = 0;
    int blocksKept_ = blocksKept;
    long matchCount_ = 0;
    mutable long tableCount_ = -1;
    mutable long rowsRead_ = 0;
};

} // namespace velmor
