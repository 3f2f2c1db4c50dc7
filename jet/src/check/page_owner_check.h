// The usage maps of a database against the pages themselves, both ways:
// every page a map claims is of the kind the map lists and belongs to the
// map's table, no page is claimed twice, and every data page that holds rows
// of a table is claimed by that table's map unless the global map marks it
// free. Part of `velmor-db check` (see jet/check.h).
#pragma once

#include "jet/check.h"
#include "file/page_store.h"

namespace jet {

// Adds what it finds to report.problems.
void checkPageOwners(writer::Transaction& txn, CheckReport& report);

} // namespace jet
