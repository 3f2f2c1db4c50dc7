// Database::execute: an INSERT, UPDATE or DELETE statement, parsed once
// (sql.h) and run as one journaled transaction, so that a failure leaves
// the file as it was.
#pragma once

#include <memory>
#include <string>

namespace jet::writer {
class DatabaseWriter;
}

namespace jet::detail {

class Storage;

// Returns the rows changed. Throws Error(SqlError) for a malformed text or
// a SELECT, Error(NotFound) for an unknown table or column,
// Error(InvalidValue) for a value given to an autonumber column, and the
// writer's errors for values the columns refuse.
long executeSql(const std::shared_ptr<Storage>& storage, writer::DatabaseWriter& writer, const std::string& text);

} // namespace jet::detail
