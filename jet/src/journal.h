// Rollback journal of a write: FILE-journal beside the database.
//
// Before a write changes any page of the file, the original bytes of every
// page it changes are written to the journal and flushed; then the pages are
// written to the file and flushed; then the journal is removed. A journal
// found when a writer takes the file's lock is what a crashed writer left
// behind: its pages are copied back and the file is cut to its former length,
// which restores the file exactly as it was before that write began.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace jet::writer {

std::string journalPath(const std::string& databasePath);

struct JournalPage {
    uint32_t number;
    const uint8_t* original; // pageSize bytes
};

// Writes and flushes the journal of a write that will change `pages` of a
// file whose length is `originalSize`. Throws Error(IoError).
void writeJournal(const std::string& databasePath, uint32_t pageSize, uint64_t originalSize,
                  const std::vector<JournalPage>& pages);

// Removes the journal (after the file itself was flushed).
void removeJournal(const std::string& databasePath);

bool journalExists(const std::string& databasePath);

// Restores the file from a leftover journal, if there is one, and removes the
// journal. `fd` is the database opened for writing, under the write lock.
// Returns true when a journal was found.
bool recoverFromJournal(int fd, const std::string& databasePath);

} // namespace jet::writer
