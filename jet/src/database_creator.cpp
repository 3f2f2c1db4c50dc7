#include "database_writer.h"

#include "jet/status.h"

namespace jet {

std::unique_ptr<Database> Database::create(const std::string& path, Format)
{
    throw Error(Code::Unsupported, path + " : la création de base n'est pas encore prise en charge");
}

} // namespace jet

namespace jet::writer {

void createTable(DatabaseWriter&, const std::string&, const std::vector<ColumnSpec>&)
{
    throw Error(Code::Unsupported, "création de table non prise en charge");
}

} // namespace jet::writer
