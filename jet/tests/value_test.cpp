#include "jet/status.h"
#include "jet/value.h"

#include <gtest/gtest.h>

using jet::Value;

TEST(Value, NullAndKinds)
{
    Value v;
    EXPECT_TRUE(v.isNull());
    EXPECT_EQ(v.toString(), "");
    EXPECT_THROW(v.asInt(), jet::Error);
    EXPECT_EQ(Value::integer(42).asInt(), 42);
    EXPECT_EQ(Value::integer(-7).toString(), "-7");
    EXPECT_EQ(Value::boolean(true).toString(), "true");
    EXPECT_EQ(Value::boolean(false).toString(), "false");
    EXPECT_EQ(Value::text("é").asText(), "é");
    EXPECT_THROW(Value::text("x").asDouble(), jet::Error);
}

TEST(Value, Currency)
{
    EXPECT_EQ(Value::currency(180000).toString(), "18.0000");
    EXPECT_EQ(Value::currency(127500).toString(), "12.7500");
    EXPECT_EQ(Value::currency(-5).toString(), "-0.0005");
    EXPECT_DOUBLE_EQ(Value::currency(127500).asDouble(), 12.75);
}

TEST(Value, Numbers)
{
    EXPECT_EQ(Value::single(0.15f).toString(), "0.15");
    EXPECT_EQ(Value::single(0.0f).toString(), "0.0");
    EXPECT_EQ(Value::real(2.5).toString(), "2.5");
    EXPECT_EQ(Value::real(1e7).toString(), "1.0E7");
    EXPECT_EQ(Value::real(3).toString(), "3.0");
}

TEST(Value, Dates)
{
    EXPECT_EQ(Value::dateTime(0.0).toString(), "1899-12-30 00:00:00");
    EXPECT_EQ(Value::dateTime(1.5).toString(), "1899-12-31 12:00:00");
    EXPECT_EQ(Value::dateTime(-1.25).toString(), "1899-12-29 06:00:00");
    EXPECT_DOUBLE_EQ(Value::dateTime(1899, 12, 29, 6).asDateTime(), -1.25);
    EXPECT_EQ(Value::dateTime(2001, 4, 18, 9, 30).toString(), "2001-04-18 09:30:00");
    EXPECT_EQ(Value::dateTime(9999, 1, 1).toString(), "9999-01-01 00:00:00");
    EXPECT_EQ(Value::dateTime(632, 1, 1).toString(), "0632-01-01 00:00:00");
    auto c = Value::dateTime(2001, 12, 31, 23, 59, 59).civil();
    EXPECT_EQ(c.year, 2001);
    EXPECT_EQ(c.second, 59);
    // 23:59:59.9 rounds to the next midnight in civil(); the text keeps the
    // milliseconds, of the day they belong to
    EXPECT_EQ(Value::dateTime(1.0 + 86399.9 / 86400).civil().day, 1);
    EXPECT_EQ(Value::dateTime(1.0 + 86399.9 / 86400).toString(), "1899-12-31 23:59:59.900");
    EXPECT_EQ(Value::dateTime(1.0 + 30.356 / 86400).toString(), "1899-12-31 00:00:30.356");
}

// Date/Time Extended: exact to 100 ns from 0001-01-01, and an Access day
// count for what reads dates as numbers.
TEST(Value, ExtendedDates)
{
    const int64_t day = Value::kTicksPerDay;
    const Value epoch = Value::dateTimeExtended(693593 * day); // 1899-12-30
    EXPECT_EQ(epoch.toString(), "1899-12-30 00:00:00");
    EXPECT_EQ(epoch.asDateTime(), 0.0);
    EXPECT_EQ(Value::dateTimeExtended(693592 * day + day / 4).asDateTime(), -1.25); // Access's negative days
    EXPECT_EQ(Value::dateTimeExtended(0).toString(), "0001-01-01 00:00:00");
    EXPECT_EQ(Value::dateTimeExtended(Value::kMaxExtendedTicks).toString(), "9999-12-31 23:59:59.9999999");
    EXPECT_EQ(Value::dateTimeExtended(1234567).toString(), "0001-01-01 00:00:00.1234567");
    EXPECT_EQ(Value::dateTimeExtended(5000000).toString(), "0001-01-01 00:00:00.500");
    EXPECT_EQ(Value::dateTimeExtended(day - 1).civil().second, 59);
    EXPECT_FALSE(Value::dateTimeExtended(1) == Value::dateTimeExtended(2));
    EXPECT_THROW(Value::dateTimeExtended(-1), jet::Error);
    EXPECT_THROW(Value::dateTimeExtended(Value::kMaxExtendedTicks + 1), jet::Error);
    // An Access date in ticks: to the millisecond it holds.
    EXPECT_EQ(Value::dateTime(1899, 12, 29, 6).dateTimeTicks(), 693592 * day + day / 4);
    EXPECT_EQ(Value::dateTime(1.0 + 30.356 / 86400).dateTimeTicks(), 693594 * day + 303560000);
}

TEST(Value, Guid)
{
    std::array<uint8_t, 16> g{0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(Value::guid(g).toString(), "{12345678-1234-5678-0102-030405060708}");
    EXPECT_EQ(Value::guid(g).asGuid(), g);
}

TEST(Value, Equality)
{
    EXPECT_EQ(Value::text("a"), Value::text("a"));
    EXPECT_FALSE(Value::text("a") == Value::integer(1));
    EXPECT_EQ(Value(), Value::null());
}
