// velmor-db attachments FILE TABLE [FOLDER]: the files of a table's
// attachment columns, written to FOLDER/COLUMN/ligne-N/NAME, N being the
// row's place in the table's export (1 for the first row).
#pragma once

#include <string>
#include <vector>

namespace velmor {

int runAttachmentsCommand(const std::vector<std::string>& args);

} // namespace velmor
