// Helpers shared by the record sheets' tests: fixture files, databases the
// tests build themselves, reading a database back with the engine, typing
// into a field as a user would, and a document area with its sheet host.
#pragma once

#include "testkit/scratch_server.h"

#include "jet/value.h"
#include "sheets/bound_field.h"
#include "sheets/pretmat.h"
#include "sheets/retour.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class QMdiArea;
class QTemporaryDir;

namespace velmor {
class ScriptedDialogs;
class SettingsSandbox;
class SheetHost;
} // namespace velmor

namespace sheetstest {

// French regional settings for the whole test program, as the users have.
void useFrenchRegionalSettings();

// Copies the fixture `name` into `dir` (writable copy); empty when the
// fixtures folder is absent.
QString copyFixture(const QString& name, const QString& dir);

// The whole content of a file (empty when it cannot be read).
QByteArray fileBytes(const QString& path);

// One row to insert: column name and value.
using Row = std::vector<std::pair<std::string, jet::Value>>;

jet::Value text(const char* utf8);
jet::Value date(int year, int month, int day);

// Creates a database at `path` with the engine, holding the return table
// `velmor2001` and the loan table `tablep` with their twelve columns, and
// the given rows, in `format`. Throws what the engine throws.
void createDatabase(const QString& path, const std::vector<Row>& returnRows,
                    const std::vector<Row>& loanRows, jet::Format format = jet::Format::Jet4);

// The tables and rows of the file at `path` copied to a new database `name`
// of `cluster` (velmor-db migrate's copy); its address, empty on failure.
QString copyToServer(velmor::ScratchServer& cluster, const QString& path, const QString& name);

// A file opened read-only, or a server's database when `path` is its address.
std::unique_ptr<jet::Database> openReadOnly(const QString& path);

// Runs the test object twice, as the suites that cover both engines do: made
// without a cluster (on files), then with a scratch PostgreSQL cluster (on
// its server). Returns the failures of both runs.
template <typename Test>
int runOnFileAndServer(int argc, char** argv)
{
    Test onFiles;
    const int failures = QTest::qExec(&onFiles, argc, argv);
    velmor::ScratchServer cluster;
    Test onServer(&cluster);
    return failures + QTest::qExec(&onServer, argc, argv);
}

// Every row of `table` of a file or of a server's database (`path` is then
// its address): column -> text (nothing for NULL).
using StoredRow = std::map<std::string, std::optional<std::string>>;
std::vector<StoredRow> readTable(const QString& path, const std::string& table);
// One column of those rows, NULL as "<NULL>".
std::vector<std::string> storedColumn(const QString& path, const std::string& table, const std::string& column);

// The control named `name` inside `parent` (a widget, or a pointer to one);
// fails the test program when there is none.
QObject* namedChild(const QObject* parent, const char* name, const QMetaObject& type);
template <typename Widget, typename Parent>
Widget* child(const Parent& parent, const char* name)
{
    const QObject* owner = nullptr;
    if constexpr (std::is_base_of_v<QObject, Parent>)
        owner = &parent;
    else
        owner = &*parent;
    return static_cast<Widget*>(namedChild(owner, name, Widget::staticMetaObject));
}
template <typename Parent>
QLineEdit* box(const Parent& parent, const char* name) { return child<QLineEdit>(parent, name); }
template <typename Parent>
QPushButton* button(const Parent& parent, const char* name) { return child<QPushButton>(parent, name); }
template <typename Parent>
QLabel* label(const Parent& parent, const char* name) { return child<QLabel>(parent, name); }

// A field without a window, as a test drives it: `type` is the user typing.
class TypedField : public velmor::BoundField {
public:
    QString text() const override { return text_; }
    void setText(const QString& text) override
    {
        text_ = text;
        modified_ = false;
    }
    bool isModified() const override { return modified_; }
    void setModified(bool modified) override { modified_ = modified; }
    void type(const QString& text)
    {
        text_ = text;
        modified_ = true;
    }

private:
    QString text_;
    bool modified_ = false;
};

// Replaces the text of `box` by typing, as the user would.
void typeInto(QLineEdit* box, const QString& text);

// Drops the windows whose close box was used (deferred deletion).
void processDeletions();

// What each sheets test starts from: a settings store of its own, scripted
// dialogs, a scratch folder, and a shown document area with its sheet host.
// A test class derives from it, calls openDesk() in init() and closeDesk()
// in cleanup(). Given a cluster (runOnFileAndServer's second run), its
// databases are on that cluster's server.
struct SheetDesk {
    explicit SheetDesk(velmor::ScratchServer* cluster = nullptr);
    ~SheetDesk();
    void openDesk();
    void closeDesk();
    // Makes the database `name` in the scratch folder (createDatabase),
    // copies it to the cluster's server when there is one, and stores its
    // path or address as the database path, dbPath.
    void useDatabase(const QString& name, const std::vector<Row>& returnRows, const std::vector<Row>& loanRows = {});
    // The sheets the host holds (null when not created).
    velmor::retour* returnSheet() const;
    velmor::Pretmat* loanSheet() const;

    std::unique_ptr<velmor::SettingsSandbox> sandbox;
    std::unique_ptr<velmor::ScriptedDialogs> scripted;
    std::unique_ptr<QMdiArea> area;
    std::unique_ptr<velmor::SheetHost> host;
    std::unique_ptr<QTemporaryDir> dir;
    QString dbPath;
    velmor::ScratchServer* const cluster; // none: on files
    int databases = 0;
};

// In initTestCase of a suite that runOnFileAndServer runs: starts the
// cluster, if any (the server run is skipped where PostgreSQL is absent).
#define SHEETS_START_CLUSTER(cluster)                                                              \
    do {                                                                                           \
        if (cluster) {                                                                             \
            VELMOR_SKIP_WITHOUT_POSTGRESQL(*(cluster));                                            \
            QVERIFY2((cluster)->start(), qPrintable((cluster)->error()));                          \
        }                                                                                          \
    } while (0)

} // namespace sheetstest
