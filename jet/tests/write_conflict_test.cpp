// Rows another process changed or deleted between this recordset's reading
// and its writing: a column both changed is a conflict (nothing written,
// Error(Conflict), the columns named), columns only the other one changed
// are kept, a row deleted meanwhile gives Error(RowDeleted), and each way of
// settling it writes what it says and nothing else.
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace jet;
using namespace jettest;

namespace {

using Row = std::vector<std::string>;

// tablep with three text columns and two rows; the first is the one edited.
std::string makeDatabase(const std::filesystem::path& dir)
{
    std::string file = (dir / "postes.mdb").string();
    auto db = Database::create(file);
    db->createTable("tablep", {{"clientp", ColumnType::Text, 50},
                               {"materielp", ColumnType::Text, 50},
                               {"motifp", ColumnType::Text, 50}});
    auto rs = db->openRecordset("tablep");
    for (const Row& row : {Row{"Dupont", "PC", "prêt"}, Row{"Leroy", "Écran", "essai"}}) {
        rs->addNew();
        for (int i = 0; i < 3; ++i)
            rs->setValue(i, Value::text(row[size_t(i)]));
        rs->update();
    }
    return file;
}

// Runs `work` on the file in another process (the other desk), to its end.
void otherDesk(const std::string& file, const std::function<void(Database&)>& work)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            auto db = Database::open(file, OpenMode::ReadWrite);
            work(*db);
        } catch (...) {
            code = 1;
        }
        _exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "l'autre poste a échoué";
}

std::function<void(Database&)> sql(std::string text)
{
    return [text](Database& db) { db.execute(text); };
}

// This desk: the first row shown, then edited.
struct Desk {
    std::unique_ptr<Database> db;
    std::unique_ptr<Recordset> rs;
    explicit Desk(const std::string& file)
        : db(Database::open(file, OpenMode::ReadWrite)), rs(db->openRecordset("tablep"))
    {
        rs->moveFirst();
    }
    void edit(const std::vector<std::pair<int, std::string>>& values)
    {
        rs->edit();
        for (const auto& [column, text] : values)
            rs->setValue(column, Value::text(text));
    }
    Row current() const
    {
        Row row;
        for (int i = 0; i < 3; ++i)
            row.push_back(rs->value(i).toString());
        return row;
    }
};

const std::optional<Code> kNone; // no error

} // namespace

TEST(WriteConflict, DetectedOnlyWhenBothChangedOneColumn)
{
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> mine;
        std::function<void(Database&)> theirs;
        std::optional<Code> code;
        std::vector<int> conflicting; // columns both changed
        std::vector<Row> table;       // stored afterwards
    };
    const std::vector<Case> cases = {
        {"même champ", {{0, "Durand"}}, sql("UPDATE tablep SET clientp = 'Martin' WHERE clientp = 'Dupont'"),
         Code::Conflict, {0}, {{"Martin", "PC", "prêt"}, {"Leroy", "Écran", "essai"}}},
        {"champs différents", {{0, "Durand"}}, sql("UPDATE tablep SET materielp = 'Clavier' WHERE clientp = 'Dupont'"),
         kNone, {}, {{"Durand", "Clavier", "prêt"}, {"Leroy", "Écran", "essai"}}},
        {"même valeur des deux côtés", {{0, "Martin"}}, sql("UPDATE tablep SET clientp = 'Martin'"), kNone, {},
         {{"Martin", "PC", "prêt"}, {"Martin", "Écran", "essai"}}},
        {"valeur lue remise telle quelle", {{0, "Dupont"}, {1, "Souris"}},
         sql("UPDATE tablep SET clientp = 'Martin' WHERE clientp = 'Dupont'"), kNone, {},
         {{"Martin", "Souris", "prêt"}, {"Leroy", "Écran", "essai"}}},
        {"modifiée par un jeu d'enregistrements", {{2, "réparation"}},
         [](Database& db) {
             auto rs = db.openRecordset("tablep");
             rs->moveFirst();
             rs->edit();
             rs->setValue(2, Value::text("retour"));
             rs->update();
         },
         Code::Conflict, {2}, {{"Dupont", "PC", "retour"}, {"Leroy", "Écran", "essai"}}},
        {"effacée", {{0, "Durand"}}, sql("DELETE FROM tablep WHERE clientp = 'Dupont'"), Code::RowDeleted, {},
         {{"Leroy", "Écran", "essai"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dir = scratchDir();
        const std::string file = makeDatabase(dir);
        Desk desk(file);
        ASSERT_EQ(desk.current(), (Row{"Dupont", "PC", "prêt"}));
        desk.edit(c.mine);
        otherDesk(file, c.theirs);
        const std::string before = fileBytes(file);
        EXPECT_EQ(codeOf([&] { desk.rs->update(); }), c.code);
        if (c.code != kNone) {
            EXPECT_EQ(fileBytes(file), before) << "rien ne doit être écrit";
            EXPECT_EQ(desk.rs->editMode(), Recordset::EditMode::Editing);
            ASSERT_NE(desk.rs->conflict(), nullptr);
            std::vector<int> both;
            for (const RowConflict::Column& col : desk.rs->conflict()->columns)
                if (col.changedHere)
                    both.push_back(col.column);
            EXPECT_EQ(both, c.conflicting);
        } else {
            EXPECT_EQ(desk.rs->conflict(), nullptr);
        }
        desk.rs.reset();
        desk.db.reset();
        EXPECT_EQ(readBack(file, "tablep"), c.table);
    }
}

TEST(WriteConflict, TheConflictNamesBothValuesAndTheColumnsOnlyTheOtherChanged)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    Desk desk(file);
    desk.edit({{0, "Durand"}});
    otherDesk(file, sql("UPDATE tablep SET clientp = 'Martin', motifp = 'retour' WHERE clientp = 'Dupont'"));
    try {
        desk.rs->update();
        FAIL() << "conflit non détecté";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), Code::Conflict);
        EXPECT_NE(std::string(e.what()).find("« clientp »"), std::string::npos) << e.what();
    }
    const RowConflict* found = desk.rs->conflict();
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->kind, RowConflict::Kind::Changed);
    ASSERT_EQ(found->columns.size(), 2u);
    const RowConflict::Column& client = found->columns[0];
    EXPECT_EQ(client.column, 0);
    EXPECT_TRUE(client.changedHere);
    EXPECT_EQ(client.read.toString(), "Dupont");
    EXPECT_EQ(client.stored.toString(), "Martin");
    EXPECT_EQ(client.pending.toString(), "Durand");
    EXPECT_EQ(found->columns[1].column, 2);
    EXPECT_FALSE(found->columns[1].changedHere);
    EXPECT_EQ(found->columns[1].stored.toString(), "retour");
}

TEST(WriteConflict, EachChoiceWritesWhatItSays)
{
    struct Case {
        const char* name;
        std::function<void(Database&)> theirs;
        ConflictChoice choice;
        std::vector<Row> table; // stored afterwards
        Row shown;              // the current row afterwards (empty: reads as deleted)
    };
    const auto changeClientAndReason =
        sql("UPDATE tablep SET clientp = 'Martin', motifp = 'retour' WHERE clientp = 'Dupont'");
    const auto deleteRow = sql("DELETE FROM tablep WHERE clientp = 'Dupont'");
    const std::vector<Case> cases = {
        {"écraser", changeClientAndReason, ConflictChoice::WriteOver,
         {{"Durand", "Souris", "retour"}, {"Leroy", "Écran", "essai"}}, {"Durand", "Souris", "retour"}},
        {"reprendre la leur", changeClientAndReason, ConflictChoice::TakeTheirs,
         {{"Martin", "PC", "retour"}, {"Leroy", "Écran", "essai"}}, {"Martin", "PC", "retour"}},
        {"effacée, enregistrée de nouveau", deleteRow, ConflictChoice::StoreAsNew,
         {{"Leroy", "Écran", "essai"}, {"Durand", "Souris", "prêt"}}, {"Durand", "Souris", "prêt"}},
        {"effacée, abandonnée", deleteRow, ConflictChoice::TakeTheirs, {{"Leroy", "Écran", "essai"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto dir = scratchDir();
        const std::string file = makeDatabase(dir);
        Desk desk(file);
        desk.edit({{0, "Durand"}, {1, "Souris"}});
        otherDesk(file, c.theirs);
        EXPECT_NE(codeOf([&] { desk.rs->update(); }), kNone);
        // A choice that does not fit the conflict changes nothing.
        const ConflictChoice wrong = c.choice == ConflictChoice::StoreAsNew || c.shown.empty()
                                         ? ConflictChoice::WriteOver
                                         : ConflictChoice::StoreAsNew;
        EXPECT_EQ(codeOf([&] { desk.rs->resolveConflict(wrong); }), Code::InvalidState);
        desk.rs->resolveConflict(c.choice);
        EXPECT_EQ(desk.rs->conflict(), nullptr);
        EXPECT_EQ(desk.rs->editMode(), Recordset::EditMode::None);
        if (c.shown.empty()) {
            EXPECT_TRUE(desk.rs->isDeleted());
        } else {
            EXPECT_EQ(desk.current(), c.shown);
        }
        if (c.choice == ConflictChoice::StoreAsNew)
            EXPECT_EQ(desk.rs->lastModified(), desk.rs->bookmark());
        desk.rs.reset();
        desk.db.reset();
        EXPECT_EQ(readBack(file, "tablep"), c.table);
        auto exported = mdbExport(file, "tablep");
        ASSERT_FALSE(exported.empty());
        exported.erase(exported.begin());
        EXPECT_EQ(exported, c.table);
    }
}

TEST(WriteConflict, WritingOverAfterAThirdChangeIsANewConflict)
{
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    Desk desk(file);
    desk.edit({{0, "Durand"}});
    otherDesk(file, sql("UPDATE tablep SET clientp = 'Martin' WHERE clientp = 'Dupont'"));
    EXPECT_EQ(codeOf([&] { desk.rs->update(); }), Code::Conflict);
    otherDesk(file, sql("UPDATE tablep SET clientp = 'Bernard' WHERE clientp = 'Martin'"));
    EXPECT_EQ(codeOf([&] { desk.rs->resolveConflict(ConflictChoice::WriteOver); }), Code::Conflict);
    ASSERT_NE(desk.rs->conflict(), nullptr);
    EXPECT_EQ(desk.rs->conflict()->columns.at(0).stored.toString(), "Bernard");
    desk.rs->resolveConflict(ConflictChoice::WriteOver);
    EXPECT_EQ(desk.current(), (Row{"Durand", "PC", "prêt"}));
}

TEST(WriteConflict, DeletingARowAnotherProcessChangedOrDeleted)
{
    for (const ConflictChoice choice : {ConflictChoice::TakeTheirs, ConflictChoice::WriteOver}) {
        SCOPED_TRACE(choice == ConflictChoice::TakeTheirs ? "garder la fiche" : "effacer quand même");
        auto dir = scratchDir();
        const std::string file = makeDatabase(dir);
        Desk desk(file);
        desk.current();
        otherDesk(file, sql("UPDATE tablep SET materielp = 'Clavier' WHERE clientp = 'Dupont'"));
        EXPECT_EQ(codeOf([&] { desk.rs->deleteCurrent(); }), Code::Conflict);
        ASSERT_NE(desk.rs->conflict(), nullptr);
        EXPECT_TRUE(desk.rs->conflict()->duringDelete);
        EXPECT_EQ(desk.rs->conflict()->columns.at(0).column, 1);
        EXPECT_EQ(desk.db->table("tablep").rowCount, 2u);
        desk.rs->resolveConflict(choice);
        if (choice == ConflictChoice::TakeTheirs) {
            EXPECT_EQ(desk.current(), (Row{"Dupont", "Clavier", "prêt"}));
            EXPECT_EQ(desk.db->table("tablep").rowCount, 2u);
        } else {
            EXPECT_TRUE(desk.rs->isDeleted());
            EXPECT_EQ(desk.db->table("tablep").rowCount, 1u);
        }
    }
    // Already deleted by the other one: what this desk asked for is done.
    auto dir = scratchDir();
    const std::string file = makeDatabase(dir);
    Desk desk(file);
    desk.current();
    otherDesk(file, sql("DELETE FROM tablep WHERE clientp = 'Dupont'"));
    desk.rs->deleteCurrent();
    EXPECT_TRUE(desk.rs->isDeleted());
    EXPECT_EQ(desk.rs->conflict(), nullptr);
    desk.rs->moveNext();
    EXPECT_EQ(desk.current(), (Row{"Leroy", "Écran", "essai"}));
}
