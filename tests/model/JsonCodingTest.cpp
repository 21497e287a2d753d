#include "model/JsonCoding.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
namespace JsonCoding = quaverly::JsonCoding;

TEST(JsonCodingTest, WritesDatesAsUtcWithMillisecondsOnlyWhenPresent)
{
    const QDateTime instant(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const std::pair<QDateTime, QString> cases[] = {
        {instant, u"2024-01-02T03:04:05Z"_s}, {instant.addMSecs(7), u"2024-01-02T03:04:05.007Z"_s},
        {instant.toTimeZone(QTimeZone("America/New_York")), u"2024-01-02T03:04:05Z"_s},
        {QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC), u"0001-01-01T00:00:00Z"_s},
    };
    for (const auto &[date, text] : cases) {
        SCOPED_TRACE(text.toStdString());
        ASSERT_TRUE(date.isValid());
        EXPECT_EQ(JsonCoding::dateText(date), text);
        EXPECT_EQ(JsonCoding::dateFromText(text), date);
    }
    EXPECT_EQ(JsonCoding::dateText(QDateTime()), QString());
}

TEST(JsonCodingTest, ReadsOnlyWellFormedUtcDates)
{
    EXPECT_EQ(JsonCoding::dateFromText(u"2024-01-02T03:04:05.5Z"),
              QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 500), Qt::UTC));
    const QString rejected[] = {
        u"2024-01-02T03:04:05"_s, u"2024-01-02T03:04:05+01:00"_s, u"+024-01-02T03:04:05Z"_s,
        u"2023-02-29T00:00:00Z"_s, u"2024-01-02T23:59:60Z"_s, u"2024-01-02T03:04:05.1234Z"_s,
        u"2024-01-02T03:04:05.Z"_s, u"2024-01-02T03:04:05Zjunk"_s, u"\uFF12024-01-02T03:04:05Z"_s,
    };
    for (const QString &text : rejected) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(JsonCoding::dateFromText(text), std::nullopt);
    }
}

TEST(JsonCodingTest, QuotesLongTextsShortened)
{
    EXPECT_EQ(JsonCoding::quoted(u"short"), u"\"short\""_s);
    EXPECT_EQ(JsonCoding::quoted(QString(46, u'x') + u"\U0001F3B5"_s + QString(100, u'y')),
              u"\""_s + QString(46, u'x') + u"\u2026\""_s)
        << "no half surrogate pair";
}
