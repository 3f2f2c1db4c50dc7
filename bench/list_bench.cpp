// velmor-bench-list [FILE]
//
// Times the list window on a large file (by default the fixture
// velmor2001-big.mdb, return table velmor2001), offscreen: opening it to the
// first rows painted, sorting on the client column, a keystroke in the
// search box to the updated count (the first one reads the searched
// columns of every row once), scrolling from top to bottom (the longest
// step), and the memory the list takes beside that of the sheet alone.
#include "lists/list_window.h"
#include "sheets/record_sheet.h"
#include "sheets/retour.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <cstdio>

namespace {

long residentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Runs the event loop until `done` holds; returns the milliseconds taken.
template <typename Work, typename Done> double timed(Work work, Done done) {
    QElapsedTimer clock;
    clock.start();
    work();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return double(clock.nsecsElapsed()) / 1e6;
}

class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral(VELMOR_FIXTURES_DIR "/velmor2001-big.mdb");
    if (!QFile::exists(path)) {
        std::fprintf(stderr, "velmor-bench-list: %s not found\n", qPrintable(path));
        return 1;
    }

    const long before = residentKilobytes();
    {
        velmor::retour sheet;
        sheet.recordSource().setDatabaseName(path);
        sheet.load();
        sheet.show();
        QCoreApplication::processEvents();
        std::printf("sheet alone: %ld rows, memory %+ld kB\n", sheet.recordSource().RecordCount(),
                    residentKilobytes() - before);
    }
    const long beforeList = residentKilobytes();

    PaintWatch watch;
    std::unique_ptr<velmor::ListWindow> list;
    const double open = timed(
        [&] {
            auto database = std::shared_ptr<jet::Database>(
                jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly));
            list = std::make_unique<velmor::ListWindow>(database, velmor::returnListDesign());
            list->table()->viewport()->installEventFilter(&watch);
            list->show();
        },
        [&] { return watch.painted; });
    std::printf("open to first rows painted: %.1f ms (%s, %d rows read)\n", open,
                qPrintable(list->countLabel()->text()), list->model()->rowCount());
    std::printf("list memory: %+ld kB\n", residentKilobytes() - beforeList);

    auto painted = [&] {
        watch.painted = false;
        return [&] { return watch.painted; };
    };
    const double sort = timed([&] { list->model()->sort(3, Qt::AscendingOrder); }, painted());
    std::printf("sort on client: %.1f ms\n", sort);
    const double sortBack = timed([&] { list->model()->sort(3, Qt::DescendingOrder); }, painted());
    std::printf("sort on client, descending: %.1f ms\n", sortBack);

    const double cold = timed([&] { list->searchBox()->setText(QStringLiteral("l")); }, painted());
    std::printf("first keystroke before the search keys are read: %.1f ms\n", cold);
    list->searchBox()->clear();
    list->model()->sort(3, Qt::AscendingOrder); // the keys are read anew for a new order
    double idleTotal = 0, idleLongest = 0;
    for (bool done = false; !done;) {
        QElapsedTimer step;
        step.start();
        done = list->model()->prepareSearch(2000);
        idleTotal += double(step.nsecsElapsed()) / 1e6;
        idleLongest = std::max(idleLongest, double(step.nsecsElapsed()) / 1e6);
    }
    std::printf("search keys read while idle: %.0f ms in all, longest step %.1f ms\n", idleTotal,
                idleLongest);
    const double firstKey =
        timed([&] { list->searchBox()->setText(QStringLiteral("l")); }, painted());
    std::printf("first keystroke to count: %.1f ms (%s)\n", firstKey,
                qPrintable(list->countLabel()->text()));
    const double nextKey =
        timed([&] { list->searchBox()->setText(QStringLiteral("lo")); }, painted());
    std::printf("next keystroke to count: %.1f ms (%s)\n", nextKey,
                qPrintable(list->countLabel()->text()));
    std::printf("memory with the search keys: %+ld kB\n", residentKilobytes() - beforeList);
    const double clear = timed([&] { list->searchBox()->clear(); }, painted());
    std::printf("clearing the search: %.1f ms\n", clear);

    // Scrolling to the end, a screenful at a time as the view fetches.
    list->model()->sort(-1);
    QScrollBar* bar = list->table()->verticalScrollBar();
    double longest = 0, total = 0;
    int steps = 0;
    while (list->model()->canFetchMore() || bar->value() < bar->maximum()) {
        const double step =
            timed([&] { bar->setValue(bar->value() + bar->pageStep() * 10); }, painted());
        longest = std::max(longest, step);
        total += step;
        ++steps;
    }
    std::printf("scroll top to bottom: %d steps, %.0f ms, longest step %.1f ms (%d rows)\n", steps,
                total, longest, list->model()->rowCount());
    std::printf("memory after scrolling every row: %+ld kB\n", residentKilobytes() - beforeList);
    return 0;
}
