// velmor-db check: every index of every table of a file.
#include "database_impl.h"
#include "index_check.h"

namespace jet {

CheckReport checkDatabase(const std::string& path)
{
    detail::Storage storage(path);
    detail::Storage::ReadScope consistent(storage); // no write of another process seen half done
    CheckReport report;
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
    return report;
}

} // namespace jet
