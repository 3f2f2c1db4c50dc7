// Recordset positions, moves, bookmarks and the row sources the sheets use.
#include "test_support.h"

#include "jet/database.h"
#include "jet/recordset.h"
#include "jet/status.h"

#include <set>

using namespace jettest;

using jet::Code;
using jet::Database;
using jet::OpenMode;
using jet::Recordset;

namespace {

std::vector<std::string> column(Recordset& rs, const std::string& name)
{
    std::vector<std::string> out;
    if (rs.recordCount() == 0)
        return out;
    rs.moveFirst();
    while (!rs.eof()) {
        jet::Value v = rs.value(name);
        out.push_back(v.isNull() ? "<NULL>" : v.toString());
        rs.moveNext();
    }
    return out;
}

} // namespace

TEST(Recordset, OpensOnFirstRowAndMovesThroughBothEnds)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto db = openFixture("velmor2001.mdb");
    auto rs = db->openRecordset("tablep");
    ASSERT_EQ(rs->recordCount(), 8);
    EXPECT_FALSE(rs->bof());
    EXPECT_FALSE(rs->eof());
    EXPECT_TRUE(rs->hasCurrent());
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-001");

    // Past the first row: BOF, no current row, no error.
    rs->movePrevious();
    EXPECT_TRUE(rs->bof());
    EXPECT_FALSE(rs->eof());
    EXPECT_FALSE(rs->hasCurrent());
    EXPECT_EQ(codeOf([&] { rs->value(0); }), Code::NoCurrentRow);
    EXPECT_EQ(codeOf([&] { rs->bookmark(); }), Code::NoCurrentRow);
    // A further move in the same direction fails.
    EXPECT_EQ(codeOf([&] { rs->movePrevious(); }), Code::NoCurrentRow);
    EXPECT_TRUE(rs->bof());
    // Moving back brings the first row.
    rs->moveNext();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-001");

    rs->moveLast();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-008");
    rs->moveNext();
    EXPECT_TRUE(rs->eof());
    EXPECT_FALSE(rs->bof());
    EXPECT_FALSE(rs->hasCurrent());
    EXPECT_EQ(codeOf([&] { rs->moveNext(); }), Code::NoCurrentRow);
    rs->movePrevious();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-008");

    // MoveFirst / MoveLast from either end.
    rs->moveNext();
    ASSERT_TRUE(rs->eof());
    rs->moveFirst();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-001");
    rs->movePrevious();
    ASSERT_TRUE(rs->bof());
    rs->moveLast();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-008");

    // Walking forward visits every row once, in physical order.
    std::vector<std::string> numbers = column(*rs, "naccordp");
    ASSERT_EQ(numbers.size(), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(numbers[size_t(i)], "P-2001-00" + std::to_string(i + 1));
}

TEST(Recordset, EmptySetRefusesEveryMove)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-empty.mdb");
    auto db = openFixture("velmor2001-empty.mdb");
    for (const char* source : {"velmor2001", "SELECT * FROM tablep "}) {
        auto rs = db->openRecordset(source);
        EXPECT_EQ(rs->recordCount(), 0);
        EXPECT_TRUE(rs->bof());
        EXPECT_TRUE(rs->eof());
        EXPECT_FALSE(rs->hasCurrent());
        EXPECT_EQ(codeOf([&] { rs->moveFirst(); }), Code::NoCurrentRow);
        EXPECT_EQ(codeOf([&] { rs->moveLast(); }), Code::NoCurrentRow);
        EXPECT_EQ(codeOf([&] { rs->moveNext(); }), Code::NoCurrentRow);
        EXPECT_EQ(codeOf([&] { rs->movePrevious(); }), Code::NoCurrentRow);
        EXPECT_EQ(codeOf([&] { rs->value(0); }), Code::NoCurrentRow);
        EXPECT_EQ(rs->columns().size(), 12u);
    }
}

TEST(Recordset, SingleRowSet)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto db = openFixture("velmor2001.mdb");
    auto rs = db->openRecordset("SELECT * FROM tablep WHERE naccordp='P-2001-004'");
    ASSERT_EQ(rs->recordCount(), 1);
    rs->moveNext();
    EXPECT_TRUE(rs->eof());
    rs->movePrevious();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-004");
    rs->movePrevious();
    EXPECT_TRUE(rs->bof());
    EXPECT_EQ(codeOf([&] { rs->movePrevious(); }), Code::NoCurrentRow);
}

TEST(Recordset, BookmarksAreComparableAndStayValid)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto db = openFixture("velmor2001.mdb");
    auto rs = db->openRecordset("velmor2001");
    std::vector<jet::Bookmark> marks;
    while (!rs->eof()) {
        marks.push_back(rs->bookmark());
        EXPECT_TRUE(marks.back().valid());
        rs->moveNext();
    }
    ASSERT_EQ(marks.size(), 8u);
    std::set<jet::Bookmark> distinct(marks.begin(), marks.end());
    EXPECT_EQ(distinct.size(), 8u);
    // Physical order: bookmarks increase along the scan.
    for (size_t i = 1; i < marks.size(); ++i)
        EXPECT_LT(marks[i - 1], marks[i]);

    rs->setBookmark(marks[4]);
    EXPECT_EQ(rs->value("naccord").asText(), "A-2001-005");
    EXPECT_EQ(rs->bookmark(), marks[4]);
    rs->setBookmark(marks[0]);
    EXPECT_EQ(rs->value("naccord").asText(), "A-2001-001");
    // From BOF/EOF too.
    rs->moveLast();
    rs->moveNext();
    rs->setBookmark(marks[7]);
    EXPECT_EQ(rs->value("naccord").asText(), "A-2001-008");

    EXPECT_EQ(codeOf([&] { rs->setBookmark(jet::Bookmark{}); }), Code::NotFound);
    EXPECT_EQ(codeOf([&] { rs->setBookmark(jet::Bookmark{marks[0].page, 200}); }), Code::NotFound);
    EXPECT_FALSE(rs->lastModified().valid());

    // A bookmark of one set finds the same row in another set over the table.
    auto sorted = db->openRecordset("SELECT * FROM velmor2001 ORDER BY naccord DESC");
    sorted->setBookmark(marks[2]);
    EXPECT_EQ(sorted->value("naccord").asText(), "A-2001-003");
    // Positions count in the set's own order, from 0.
    EXPECT_EQ(sorted->absolutePosition(), 5);
    sorted->setAbsolutePosition(0);
    EXPECT_EQ(sorted->value("naccord").asText(), "A-2001-008");
    sorted->setAbsolutePosition(7);
    EXPECT_EQ(sorted->bookmark(), marks[0]);
    EXPECT_EQ(codeOf([&] { sorted->setAbsolutePosition(8); }), Code::NotFound);
    EXPECT_EQ(codeOf([&] { sorted->setAbsolutePosition(-1); }), Code::NotFound);
    // But not a row that the other set filtered out.
    auto some = db->openRecordset("SELECT * FROM velmor2001 WHERE client='Crédit Agricole'");
    EXPECT_EQ(codeOf([&] { some->setBookmark(marks[0]); }), Code::NotFound);
}

TEST(Recordset, SheetRowSources)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto db = openFixture("velmor2001.mdb");
    auto count = [&](const std::string& source) { return db->openRecordset(source)->recordCount(); };

    EXPECT_EQ(count("SELECT * FROM velmor2001 "), 8);
    EXPECT_EQ(count("SELECT * FROM velmor2001 WHERE dateretourclient=null "), 0);
    EXPECT_EQ(count("SELECT * FROM tablep "), 8);
    EXPECT_EQ(count("SELECT * FROM tablep WHERE dateenvoip=null "), 0);

    auto returns = db->openRecordset("SELECT * FROM velmor2001 WHERE client='Crédit Agricole'");
    EXPECT_EQ(column(*returns, "naccord"), (std::vector<std::string>{"A-2001-003", "A-2001-007"}));
    auto loans = db->openRecordset("SELECT * FROM tablep WHERE clientp='Crédit Agricole'");
    EXPECT_EQ(column(*loans, "naccordp"), (std::vector<std::string>{"P-2001-003", "P-2001-007"}));

    // Whole value, any case.
    EXPECT_EQ(count("SELECT * FROM tablep WHERE clientp='CRÉDIT AGRICOLE'"), 2);
    EXPECT_EQ(count("SELECT * FROM tablep WHERE clientp='crédit'"), 0);
    EXPECT_EQ(count("SELECT * FROM tablep WHERE clientp='Personne'"), 0);
    // The empty string is not NULL.
    auto empty = db->openRecordset("SELECT * FROM tablep WHERE clientp=''");
    EXPECT_EQ(column(*empty, "naccordp"), (std::vector<std::string>{"P-2001-005"}));
    // A typed name with a quote makes the text invalid.
    EXPECT_EQ(codeOf([&] { db->openRecordset("SELECT * FROM velmor2001 WHERE client='L'Oréal'"); }),
              Code::SqlError);
    // Doubled, the quote is part of the text.
    EXPECT_EQ(count("SELECT * FROM velmor2001 WHERE client='L''Oréal'"), 2);
}

TEST(Recordset, ReadOnlyDatabaseRefusesWrites)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    auto db = openFixture("velmor2001.mdb");
    EXPECT_TRUE(db->readOnly());
    auto rs = db->openRecordset("tablep");
    EXPECT_EQ(rs->editMode(), Recordset::EditMode::None);
    EXPECT_EQ(codeOf([&] { rs->addNew(); }), Code::ReadOnly);
    EXPECT_EQ(codeOf([&] { rs->edit(); }), Code::ReadOnly);
    EXPECT_EQ(codeOf([&] { rs->deleteCurrent(); }), Code::ReadOnly);
}

TEST(Recordset, RecordsetOutlivesDatabase)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001.mdb");
    std::unique_ptr<Recordset> rs;
    {
        auto db = openFixture("velmor2001.mdb");
        rs = db->openRecordset("tablep");
    }
    rs->moveLast();
    EXPECT_EQ(rs->value("naccordp").asText(), "P-2001-008");
}

// A whole-table recordset on a read-only database finds its rows page by page
// as moves need them; every way through must still meet every row once.
TEST(Recordset, RowsFoundPageByPageMatchTheFullCount)
{
    VELMOR_SKIP_WITHOUT_FIXTURE("velmor2001-big.mdb");
    auto db = openFixture("velmor2001-big.mdb");
    const long expected = long(db->table("tablep").rowCount);

    auto forward = db->openRecordset("tablep");
    std::set<jet::Bookmark> seen;
    long walked = 0;
    jet::Bookmark lastSeen;
    int64_t lastId = 0;
    while (!forward->eof()) {
        seen.insert(forward->bookmark());
        lastSeen = forward->bookmark();
        lastId = forward->value("id").asInt();
        ++walked;
        forward->moveNext();
    }
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(long(seen.size()), expected);
    EXPECT_EQ(forward->recordCount(), expected);

    // The count asked first, then the walk backwards from the last row.
    auto backward = db->openRecordset("tablep");
    EXPECT_EQ(backward->recordCount(), expected);
    backward->moveLast();
    long back = 0;
    while (!backward->bof()) {
        EXPECT_TRUE(seen.count(backward->bookmark()));
        ++back;
        backward->movePrevious();
    }
    EXPECT_EQ(back, expected);

    // A bookmark of a row far down the table, set on a fresh recordset that
    // has only seen its first page.
    auto jump = db->openRecordset("tablep");
    jump->setBookmark(lastSeen);
    EXPECT_EQ(jump->bookmark(), lastSeen);
    EXPECT_EQ(jump->value("id").asInt(), lastId);
    EXPECT_EQ(jump->recordCount(), expected);
}
