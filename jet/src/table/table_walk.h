// Walking a table's rows in physical order one data page at a time, so that
// a recordset can show its first row without touching every page of the
// table: the usage map is read with the first page (a few pages), the data
// pages only as far as the caller asks. A walk done in one hold of the file's
// lock is of one commit.
#pragma once

#include "format/table_def.h"
#include "jet/recordset.h"

#include <vector>

namespace jet::detail {

class TableWalk {
public:
    TableWalk(const PageFile& file, const FormatInfo& format, const TableDef& table);

    // Appends the live rows of the next data page of the table that has
    // any; returns false (appending nothing) when no page is left.
    bool next(std::vector<Bookmark>& rows);

private:
    const PageFile* file_;
    const FormatInfo* f_;
    const TableDef* table_;
    uint32_t owner_;
    bool mapRead_ = false;
    std::vector<uint32_t> pages_;
    size_t nextPage_ = 0;
};

} // namespace jet::detail
