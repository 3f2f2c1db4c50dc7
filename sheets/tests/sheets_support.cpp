#include "sheets_support.h"

#include "sheets/pretmat.h"
#include "sheets/retour.h"
#include "sheets/sheet_host.h"
#include "shell/settings.h"
#include "testkit/scripted_dialogs.h"
#include "testkit/settings_sandbox.h"

#include "server/migration.h"
#include "jet/database.h"
#include "jet/recordset.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QTest>

#include "testkit/fixtures.h"

namespace sheetstest {

void useFrenchRegionalSettings()
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}

QString copyFixture(const QString& name, const QString& dir)
{
    if (!velmor::fixtures::present(name.toStdString()))
        return QString();
    const QString target = dir + QLatin1Char('/') + name;
    QFile::remove(target);
    if (!QFile::copy(QString::fromStdString(velmor::fixtures::path(name.toStdString())), target))
        return QString();
    QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    return target;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

jet::Value text(const char* utf8)
{
    return jet::Value::text(utf8);
}

jet::Value date(int year, int month, int day)
{
    return jet::Value::dateTime(year, month, day);
}

namespace {

std::vector<jet::ColumnSpec> returnColumns()
{
    using jet::ColumnType;
    return {
        {"emetteur", ColumnType::Text, 50},       {"naccord", ColumnType::Text, 50},
        {"dateaccord", ColumnType::DateTime, 0},  {"client", ColumnType::Text, 50},
        {"materiel", ColumnType::Text, 50},       {"motif", ColumnType::Text, 255},
        {"daterecp", ColumnType::DateTime, 0},    {"parquirecep", ColumnType::Text, 50},
        {"dateretourclient", ColumnType::DateTime, 0}, {"intervention", ColumnType::Memo, 0},
        {"parquiinterv", ColumnType::Text, 50},   {"nomauteur", ColumnType::Text, 50},
    };
}

std::vector<jet::ColumnSpec> loanColumns()
{
    using jet::ColumnType;
    return {
        {"emetteurp", ColumnType::Text, 50},     {"naccordp", ColumnType::Text, 50},
        {"dateaccordp", ColumnType::DateTime, 0}, {"clientp", ColumnType::Text, 50},
        {"materielp", ColumnType::Text, 50},     {"motifp", ColumnType::Text, 255},
        {"parquip", ColumnType::Text, 50},       {"dateenvoip", ColumnType::DateTime, 0},
        {"retourmathsp", ColumnType::Text, 50},  {"dateretourhsp", ColumnType::DateTime, 0},
        {"rdzvp", ColumnType::Text, 50},         {"nomauteurp", ColumnType::Text, 50},
    };
}

void insert(jet::Database& db, const std::string& table, const std::vector<Row>& rows)
{
    std::unique_ptr<jet::Recordset> set = db.openRecordset(table);
    for (const Row& row : rows) {
        set->addNew();
        for (const auto& [column, value] : row)
            set->setValue(set->columnIndex(column), value);
        set->update();
    }
}

} // namespace

void createDatabase(const QString& path, const std::vector<Row>& returnRows,
                    const std::vector<Row>& loanRows, jet::Format format)
{
    QFile::remove(path);
    std::unique_ptr<jet::Database> db = jet::Database::create(path.toStdString(), format);
    db->createTable("velmor2001", returnColumns());
    db->createTable("tablep", loanColumns());
    insert(*db, "velmor2001", returnRows);
    insert(*db, "tablep", loanRows);
}

QString copyToServer(velmor::ScratchServer& cluster, const QString& path, const QString& name)
{
    using namespace velmor::server;
    const QString address = cluster.createDatabase(name);
    if (address.isEmpty())
        return address;
    auto file = jet::Database::open(QFile::encodeName(path).toStdString(), jet::OpenMode::ReadOnly);
    migrateToServer(*file, *ServerDatabase::connect(*parseServerAddress(address)), {});
    return address;
}

std::unique_ptr<jet::Database> openReadOnly(const QString& path)
{
    using namespace velmor::server;
    if (isServerAddress(path))
        return ServerDatabase::connect(*parseServerAddress(path));
    return jet::Database::open(path.toStdString(), jet::OpenMode::ReadOnly);
}

std::vector<StoredRow> readTable(const QString& path, const std::string& table)
{
    std::unique_ptr<jet::Database> db = openReadOnly(path);
    std::unique_ptr<jet::Recordset> set = db->openRecordset(table);
    std::vector<StoredRow> rows;
    if (set->recordCount() == 0 && !set->hasCurrent())
        return rows;
    for (set->moveFirst(); !set->eof(); set->moveNext()) {
        StoredRow row;
        for (size_t i = 0; i < set->columns().size(); ++i) {
            const jet::Value value = set->value(static_cast<int>(i));
            row[set->columns()[i].name] =
                value.isNull() ? std::nullopt : std::optional<std::string>(value.toString());
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> storedColumn(const QString& path, const std::string& table, const std::string& column)
{
    std::vector<std::string> values;
    for (const StoredRow& row : readTable(path, table))
        values.push_back(row.at(column).value_or("<NULL>"));
    return values;
}

QObject* namedChild(const QObject* parent, const char* name, const QMetaObject& type)
{
    for (QObject* found : parent->findChildren<QObject*>(QString::fromLatin1(name)))
        if (type.cast(found))
            return found;
    qFatal("no %s named %s", type.className(), name);
}

void typeInto(QLineEdit* box, const QString& text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    // Each character as a key press carrying its text (QTest's own helpers
    // only know ASCII keys).
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(box, &press);
        QCoreApplication::sendEvent(box, &release);
    }
}

void processDeletions()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

SheetDesk::SheetDesk(velmor::ScratchServer* cluster) : cluster(cluster) {}
SheetDesk::~SheetDesk() { closeDesk(); }

void SheetDesk::openDesk()
{
    sandbox = std::make_unique<velmor::SettingsSandbox>();
    scripted = std::make_unique<velmor::ScriptedDialogs>();
    dir = std::make_unique<QTemporaryDir>();
    area = std::make_unique<QMdiArea>();
    area->resize(1024, 720);
    area->show();
    host = std::make_unique<velmor::SheetHost>(area.get());
}

void SheetDesk::closeDesk()
{
    host.reset();
    area.reset();
    processDeletions();
    scripted.reset();
    sandbox.reset();
    dir.reset();
}

void SheetDesk::useDatabase(const QString& name, const std::vector<Row>& returnRows, const std::vector<Row>& loanRows)
{
    dbPath = dir->filePath(name);
    createDatabase(dbPath, returnRows, loanRows);
    if (cluster) {
        dbPath = copyToServer(*cluster, dbPath, QFileInfo(name).baseName() + QString::number(++databases));
        QVERIFY2(!dbPath.isEmpty(), qPrintable(cluster->error()));
    }
    velmor::settings::save("option", "option", "cheminbase", dbPath);
}

velmor::retour* SheetDesk::returnSheet() const
{
    return qobject_cast<velmor::retour*>(host->sheet(velmor::SheetHost::Sheet::Return, false));
}

velmor::Pretmat* SheetDesk::loanSheet() const
{
    return qobject_cast<velmor::Pretmat*>(host->sheet(velmor::SheetHost::Sheet::Loan, false));
}

} // namespace sheetstest
