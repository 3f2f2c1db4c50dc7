// velmor-db check: every index of every table of a file.
#include "database/database_impl.h"
#include "database/database_writer.h"
#include "check/index_check.h"
#include "file/journal.h"

namespace jet {

CheckReport checkDatabase(const std::string& path)
{
    // A write that a writer left half done is undone first, as any open
    // that may write does; when the file cannot be written, the check says so.
    CheckReport report;
    try {
        writer::recoverIfNeeded(path);
    } catch (const Error& e) {
        if (e.code() != Code::OrphanedJournal)
            throw; // such a journal is left alone, and reported below
    }
    detail::Storage storage(path);
    detail::Storage::ReadScope consistent(storage); // no write of another process seen half done
    const detail::PageFile& file = storage.file();
    const detail::FormatInfo& f = storage.format();
    uint32_t order = detail::storedDatabaseSortOrder(file, f);
    for (const detail::CatalogEntry& entry : storage.catalog()) {
        std::shared_ptr<const detail::TableDef> def;
        try {
            def = storage.tableDef(entry);
        } catch (const Error& e) {
            report.problems.push_back("table " + entry.name + " : " + e.what());
            continue;
        }
        ++report.tables;
        detail::checkTableIndexes(file, f, *def, order, report);
    }
    checkStorage(path, report);
    if (writer::journalOrphaned(path))
        report.problems.push_back(writer::orphanedJournalMessage(path));
    else if (writer::journalPending(path))
        report.notes.push_back("une écriture interrompue reste à annuler (journal " + writer::journalPath(path) +
                               ") : le fichier sera rétabli à sa prochaine ouverture en écriture ; "
                               "la vérification porte sur le fichier tel qu'il est sur le disque");
    return report;
}

} // namespace jet
