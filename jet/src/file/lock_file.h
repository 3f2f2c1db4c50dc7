// Who has a database open, as Access and the other Jet programs record it:
// the lock file beside the database (NAME.ldb for Jet files, NAME.laccdb
// for ACE files). It is an array of up to 255 slots of 64 bytes, the
// computer name in the first 32 and the user name in the last 32 (ANSI,
// NUL-padded). A program that has the database open holds a one-byte lock
// at 0x10000001 + slot on the lock file for as long as it has it open; a
// slot whose byte nobody holds is stale, whatever names it still shows.
// The last program to close the database deletes the lock file.
//
// The engine takes a slot the same way while it has a database open for
// writing, so that those programs see it. They do not honour the engine's
// own write lock on the database, so the engine must not write while one
// of them has the file open: it tells its own slots from theirs by a second
// one-byte lock of its own at 0x7F000001 + slot (outside the range Jet
// uses, 0x10000001 to 0x6FF800FF), taken before the slot's lock and kept
// with it. A held slot without that mark, or any lock elsewhere in Jet's
// range, is another program.
//
// The locks are open-file-description locks on Linux (fcntl elsewhere,
// LockFileEx on Windows): they conflict with the record locks that Samba
// and the CIFS client map Windows byte-range locks to, and they belong to
// the open file, so that two databases open in one process hold a slot
// each and closing one never drops the other's locks.
#pragma once

#include <optional>
#include <string>

namespace jet::writer {

struct LockFileUser {
    std::string computer; // UTF-8; empty when not known
    std::string user;
};

class LockFileSlot {
public:
    // The lock file of a database: NAME.laccdb for ACE files, NAME.ldb otherwise.
    static std::string lockFilePath(const std::string& databasePath, bool ace);

    // Opens (or creates) the lock file and looks for another program's live
    // user; when there is none, takes a slot with this computer's name and
    // the login name. Trouble with the lock file itself (a folder where it
    // cannot be created) is no error: the slot is then simply not taken.
    explicit LockFileSlot(std::string lockPath);
    // Frees the slot; the last user deletes the lock file.
    ~LockFileSlot();
    LockFileSlot(const LockFileSlot&) = delete;
    LockFileSlot& operator=(const LockFileSlot&) = delete;

    // The other program's live user found on opening (no slot was taken then).
    const std::optional<LockFileUser>& foreignUserAtOpening() const { return foreign_; }
    // Looks again, now.
    std::optional<LockFileUser> foreignUser() const;
    // The slot taken (-1: none).
    int slot() const { return slot_; }
    const std::string& path() const { return path_; }

    // The names this process writes into its slot.
    static LockFileUser thisUser();

private:
    bool openFile();
    bool takeSlot();
    void closeFile(bool mayDelete);

    std::string path_;
    int fd_ = -1;
    bool writable_ = false;
    int slot_ = -1;
    std::optional<LockFileUser> foreign_;
};

// "PATH est ouverte dans un autre programme ... par « user » sur le poste
// « computer »": the start of the messages that name such a user.
std::string openedElsewhere(const std::string& databasePath, const LockFileUser& user);

} // namespace jet::writer
