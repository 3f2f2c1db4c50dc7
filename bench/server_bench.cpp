// velmor-bench-server [FILE]
//
// The commands and the list on a large file (by default the fixture
// velmor2001-big.mdb) beside the same on a PostgreSQL server holding a copy
// of it: "Prêt" to the first row shown, "Rechercher" on a client and
// "En Cours" on the loan sheet, the list window opened to its first rows
// and its search keys read from every row, and the row set itself walked
// row by row and reached by bookmark and by position. The server is a
// scratch cluster of this program's own (initdb in a temporary folder),
// filled by the migration; without PostgreSQL the server half is skipped
// with a line saying so.
#include "lists/list_window.h"
#include "lists/row_list_model.h"
#include "server/migration.h"
#include "sheets/record_sheet.h"
#include "sheets/record_source.h"
#include "sheets/sheet_host.h"
#include "shell/settings.h"
#include "testkit/scratch_server.h"
#include "testkit/scripted_dialogs.h"
#include "testkit/settings_sandbox.h"

#include "jet/database.h"
#include "jet/recordset.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <cstdio>
#include <random>

using namespace velmor;

namespace {

template <typename Work> double milliseconds(Work work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

std::unique_ptr<jet::Database> openEngine(const QString& path)
{
    if (const auto address = server::parseServerAddress(path))
        return server::ServerDatabase::connect(*address);
    return jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadOnly);
}

// "Prêt", "Rechercher" and "En Cours" as the toolbar runs them.
void commands(const char* engine, const QString& path)
{
    SettingsSandbox sandbox;
    ScriptedDialogs dialogs;
    settings::save("option", "option", "cheminbase", path);
    QMdiArea area;
    area.resize(1024, 720);
    area.show();
    SheetHost host(&area);
    const double open = milliseconds([&] {
        host.open(SheetHost::Sheet::Loan);
        QCoreApplication::processEvents();
    });
    RecordSheet* sheet = host.sheet(SheetHost::Sheet::Loan, false);
    const QString client = sheet->findChild<QLineEdit*>(QStringLiteral("clientS2"))->text();
    std::printf("%s: \"Prêt\" to first row: %.1f ms (%ld rows, first client « %s »)\n", engine, open,
                sheet->recordSource().RecordCount(), qPrintable(client));
    dialogs.queueInput(client);
    const double search = milliseconds([&] {
        host.search();
        QCoreApplication::processEvents();
    });
    std::printf("%s: \"Rechercher\" « %s »: %.1f ms (%ld rows)\n", engine, qPrintable(client), search,
                sheet->recordSource().RecordCount());
    const double outstanding = milliseconds([&] {
        host.outstanding();
        QCoreApplication::processEvents();
    });
    std::printf("%s: \"En Cours\": %.1f ms (%ld rows)\n", engine, outstanding, sheet->recordSource().RecordCount());
    if (!dialogs.messages().isEmpty())
        std::printf("%s: the commands said « %s »\n", engine, qPrintable(dialogs.messages().join(QStringLiteral(" / "))));
}

// The list window on the return table, and its search keys of every row.
void list(const char* engine, const QString& path)
{
    std::unique_ptr<ListWindow> window;
    const double open = milliseconds([&] {
        window = std::make_unique<ListWindow>(std::shared_ptr<jet::Database>(openEngine(path)), returnListDesign());
        window->show();
        QCoreApplication::processEvents();
    });
    std::printf("%s: list open to first rows: %.1f ms (%d rows read)\n", engine, open, window->model()->rowCount());
    const double keys = milliseconds([&] { window->model()->prepareSearch(1L << 30); });
    std::printf("%s: list search keys of every row: %.0f ms\n", engine, keys);
}

// The row set alone: every row read in order, then 1,000 rows reached by
// bookmark and 1,000 by position, at random.
void rowSet(const char* engine, const QString& path)
{
    auto db = openEngine(path);
    std::unique_ptr<jet::Recordset> rows;
    const double open = milliseconds([&] { rows = db->openRecordset("tablep"); });
    std::vector<jet::Bookmark> marks;
    const double walk = milliseconds([&] {
        for (rows->moveFirst(); !rows->eof(); rows->moveNext()) {
            rows->value(0);
            marks.push_back(rows->bookmark());
        }
    });
    std::mt19937 random(2001);
    std::uniform_int_distribution<size_t> pick(0, marks.size() - 1);
    const double byMark = milliseconds([&] {
        for (int i = 0; i < 1000; ++i)
            rows->setBookmark(marks[pick(random)]);
    });
    const double byPosition = milliseconds([&] {
        for (int i = 0; i < 1000; ++i)
            rows->setAbsolutePosition(long(pick(random)));
    });
    std::printf("%s: row set open %.1f ms, walk of %zu rows %.0f ms, 1000 bookmarks %.0f ms, "
                "1000 positions %.0f ms\n",
                engine, open, marks.size(), walk, byMark, byPosition);
}

void run(const char* engine, const QString& path)
{
    commands(engine, path);
    list(engine, path);
    rowSet(engine, path);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString path =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VELMOR_FIXTURES_DIR "/velmor2001-big.mdb");
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "velmor-bench-server: %s not found\n", qPrintable(path));
        return 1;
    }
    try {
        run("file", path);
        ScratchServer cluster;
        if (cluster.binDir().isEmpty()) {
            std::printf("server: skipped, %s\n", qPrintable(cluster.absentMessage()));
            return 0;
        }
        if (!cluster.start()) {
            std::fprintf(stderr, "velmor-bench-server: the scratch cluster did not start: %s\n",
                         qPrintable(cluster.error()));
            return 1;
        }
        const QString address = cluster.createDatabase(QStringLiteral("bench"));
        const double copy = milliseconds([&] {
            auto file = jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadOnly);
            server::migrateToServer(*file, *server::ServerDatabase::connect(*server::parseServerAddress(address)),
                                    {"client", "clientp"});
        });
        std::printf("server: migration of the file %.0f ms\n", copy);
        run("server", address);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmor-bench-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
