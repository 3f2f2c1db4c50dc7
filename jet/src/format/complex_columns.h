// Complex columns of ACE files (attachments, multi-valued fields, version
// history). A row holds only a complex id; the values sit in a hidden "flat"
// table, one row per value, whose column named "_" + the column's name holds
// that id. MSysComplexColumns names, for each complex column, its flat table
// and the system table that describes its kind (MSysComplexType_*).
#pragma once

#include "format/catalog.h"
#include "format/table_def.h"

#include <functional>
#include <memory>

namespace jet::detail {

// The definition of a catalog entry, as the database's cache holds it.
using DefinitionOf = std::function<std::shared_ptr<const TableDef>(const CatalogEntry&)>;

// Sets ColumnInfo::complex on each complex column of `def`.
void describeComplexColumns(const PageFile& file, const FormatInfo& f, const std::vector<CatalogEntry>& catalog,
                            const DefinitionOf& definition, TableDef& def);

// The files of an attachment column of `def`.
std::vector<Attachment> readAttachments(const PageFile& file, const FormatInfo& f,
                                        const std::vector<CatalogEntry>& catalog, const DefinitionOf& definition,
                                        const TableDef& def, const ColumnDef& column);

// The file an attachment's FileData holds: [flag u32][length u32] then the
// content, zlib-compressed when the flag is 1; the content is [header
// length u32][u32][extension, UTF-16] and the file's bytes. Throws Corrupt
// (naming `page`) when the bytes are not such.
std::vector<uint8_t> attachmentFileBytes(const PageFile& file, uint32_t page, const std::vector<uint8_t>& stored);

} // namespace jet::detail
