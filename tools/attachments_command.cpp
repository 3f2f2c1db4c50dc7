#include "attachments_command.h"

#include "command_line.h"
#include "password_option.h"

#include "jet/recordset.h"
#include "jet/status.h"

#include <fstream>
#include <iostream>
#include <map>

namespace velmor {

namespace {

// A name that stays inside its folder: no separators, no "." or "..".
std::string safeFileName(std::string name)
{
    for (char& c : name) {
        if (c == '/' || c == '\\' || c == ':' || (unsigned char)c < 0x20)
            c = '_';
    }
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

std::string utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    if (std::filesystem::exists(path))
        throw jet::Error(jet::Code::IoError, "le fichier existe déjà, il n'est pas remplacé : " + utf8(path));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw jet::Error(jet::Code::IoError, "écriture impossible : " + utf8(path));
}

} // namespace

int runAttachmentsCommand(const std::vector<std::string>& args)
{
    if (args.size() < 3 || args.size() > 4) {
        std::cerr << "velmor-db : usage : velmor-db attachments FICHIER TABLE [DOSSIER]\n"
                     "Essayez « velmor-db --help ».\n";
        return 2;
    }
    auto db = openDatabase(args[1], jet::OpenMode::ReadOnly);
    const jet::TableInfo table = db->table(args[2]);
    const std::filesystem::path folder = pathFromUtf8(args.size() == 4 ? args[3] : table.name + " - pièces jointes");
    long written = 0;
    bool anyColumn = false;
    for (size_t col = 0; col < table.columns.size(); ++col) {
        const jet::ColumnInfo& column = table.columns[col];
        if (column.complex != jet::ComplexKind::Attachment)
            continue;
        anyColumn = true;
        // The row of each complex id, in export order.
        std::map<std::string, long> rowOf;
        auto rows = db->openRecordset(table.name);
        rows->fetchAll();
        long number = 0;
        for (; rows->hasCurrent(); rows->moveNext()) {
            ++number;
            const jet::Value v = rows->value(int(col));
            if (v.kind() == jet::Value::Kind::Unsupported)
                rowOf.emplace(v.asText(), number);
        }
        for (const jet::Attachment& a : db->attachments(table.name, column.name)) {
            const auto row = rowOf.find(std::to_string(a.complexId));
            const std::string rowFolder = row == rowOf.end() ? "sans-ligne" : "ligne-" + std::to_string(row->second);
            const std::filesystem::path path =
                folder / pathFromUtf8(safeFileName(column.name)) / rowFolder / pathFromUtf8(safeFileName(a.fileName));
            writeFile(path, a.data);
            std::cout << utf8(path) << " (" << a.data.size() << " octets)\n";
            ++written;
        }
    }
    if (!anyColumn) {
        std::cerr << "velmor-db : la table " << table.name << " n'a pas de colonne de pièces jointes\n";
        return 1;
    }
    std::cout << written << (written > 1 ? " pièces jointes extraites\n" : " pièce jointe extraite\n");
    return 0;
}

} // namespace velmor
