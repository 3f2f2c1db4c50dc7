// libFuzzer target. A database from arbitrary bytes: opened (with the
// password of the seed that has one), every value of every table read
// (calculated columns unwrapped) with the files of every attachment column,
// then the whole file checked (index pages and usage maps decoded). Or, for
// input that starts with the write-script magic, writes to an Access 97 file
// (jet3_writes.cpp).
#include "fuzz_cases.h"

#include "jet/check.h"
#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

void fuzzReadFile(const uint8_t* data, size_t size)
{
    int fd = ::memfd_create("velmor-fuzz.mdb", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    size_t written = 0;
    while (written < size) {
        ssize_t n = ::write(fd, data + written, size - written);
        if (n <= 0)
            std::abort();
        written += size_t(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    try {
        auto db = jet::Database::open(path, jet::OpenMode::ReadOnly, "password");
        for (const auto& name : db->tableNames(true)) {
            for (const auto& column : db->table(name).columns) {
                if (column.complex != jet::ComplexKind::Attachment)
                    continue;
                try {
                    for (const auto& file : db->attachments(name, column.name))
                        if (file.data.size() > size_t(1) << 31)
                            std::abort();
                } catch (const jet::Error&) {
                }
            }
            auto rs = db->openRecordset(name);
            const int columns = int(rs->columns().size());
            long rows = 0;
            while (rs->hasCurrent()) {
                for (int c = 0; c < columns; ++c)
                    rs->value(c).toString();
                rs->moveNext();
                ++rows;
            }
            if (rows != rs->recordCount())
                std::abort();
            if (rows > 0) {
                rs->moveLast();
                rs->setBookmark(rs->bookmark());
            }
        }
        db.reset();
        jet::checkDatabase(path);
    } catch (const jet::Error&) {
        // a clear refusal: expected for damaged input
    }
    ::close(fd);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t magic = sizeof kJet3WriteScript - 1;
    if (size >= magic && std::memcmp(data, kJet3WriteScript, magic) == 0)
        fuzzJet3Writes(data + magic, size - magic);
    else
        fuzzReadFile(data, size);
    return 0;
}
