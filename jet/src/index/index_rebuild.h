// Rebuilding the indexes of a small table (the catalog and the other system
// tables of a new database) as single leaf pages, from the table's rows.
//
// General index maintenance is a separate piece of work; this covers what
// creating a database and adding tables to its catalog need: every index of
// the table is written afresh on its root page, which must hold all its
// entries (a catalog of a few hundred tables).
#pragma once

#include "file/page_store.h"
#include "format/row_encoder.h"

namespace jet::writer {

// Rewrites every index of the table at `tdefPage` from its live rows and
// updates their entry counts in the table definition. Throws
// Error(Unsupported) when an index does not fit on its one page.
void rebuildIndexes(Transaction& txn, uint32_t tdefPage);

} // namespace jet::writer
