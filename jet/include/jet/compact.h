// Compacting a database file: the space that deleted rows, rewritten long
// values and emptied pages left is given back and the file shrinks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace jet {

struct CompactResult {
    uint64_t sizeBefore = 0; // bytes
    uint64_t sizeAfter = 0;
};

// Called between tables with the number of tables done and their total.
using CompactProgress = std::function<void(int done, int total)>;

// Writes a compacted copy of the file beside it (FILE-compactage): every
// table, system tables included, has its rows written again in their order
// onto the lowest free pages with their long values, each of its indexes is
// written afresh from all its entries with its pages filled (a key the
// engine cannot compute, for a character outside its sort tables, is the one
// the file held for that row), and the pages left free at the end are cut
// off; Access 97 (Jet3) files as well as later ones, each in its own
// layout. The copy is then checked like `checkDatabase` does, flushed, and
// put in the file's place in one rename:
// at any moment, whatever happens (a crash, a power cut), the file is either
// the old one or the whole compacted one; a leftover copy is removed by the
// next compaction.
//
// Refused, with the file left as it was, while another program has the
// file open: this engine in any process (Error(Locked)), or Access or
// another Jet program whose live slot the lock file shows (Error(ReadOnly)).
// Also refused when the copy fails its check (Corrupt, the first problem
// named). Tables whose indexes the engine cannot maintain are copied as they
// are.
CompactResult compactDatabase(const std::string& path, const CompactProgress& progress = {});

} // namespace jet
