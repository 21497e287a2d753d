#include "platform/PropertyList.h"

#include "support/PlistText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace quaverly;

// Time and memory of these inputs at full size are measured by bench_hostile; here only the
// answers, at a size where a quadratic reader would already be slow.

TEST(HostileInputTest, KeepsTheLastValueOfAKeyRepeatedManyTimes)
{
    constexpr int repeats = 200'000;
    QByteArray body = "<dict>";
    for (int i = 0; i < repeats; ++i)
        body += "<key>Name</key><integer>" + QByteArray::number(i) + "</integer>";
    body += "</dict>";

    const PropertyList list = PropertyList::parse(test::plistDocument(body));
    ASSERT_TRUE(list.root().isDictionary());
    EXPECT_EQ(list.root().size(), 1u);
    const auto value = list.root().value(u"Name");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->toInteger(), repeats - 1);
}

TEST(HostileInputTest, TellsApartManyKeysAlikeInLengthAndAtBothEnds)
{
    constexpr int count = 100'000;
    const auto key = [](int i) { return "AAAAAAAA" + QByteArray::number(i).rightJustified(7, '0') + "BBBBBBBB"; };
    QByteArray body = "<dict>";
    for (int i = 0; i < count; ++i)
        body += "<key>" + key(i) + "</key><integer>" + QByteArray::number(i) + "</integer>";
    body += "</dict>";

    const PropertyList list = PropertyList::parse(test::plistDocument(body));
    ASSERT_TRUE(list.root().isDictionary());
    EXPECT_EQ(list.keyCount(), std::uint32_t(count));
    EXPECT_EQ(list.root().size(), std::size_t(count));
    for (const int i : {0, 1, count / 2, count - 1}) {
        SCOPED_TRACE(i);
        const auto value = list.root().value(QString::fromLatin1(key(i)));
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->toInteger(), i);
    }
}

TEST(HostileInputTest, DecodesLongRunsOfCharacterReferences)
{
    constexpr int repeats = 200'000;
    const QByteArray body = "<string>" + QByteArray("&#x1F3B5;&#65;&amp;").repeated(repeats) + "</string>";

    const PropertyList list = PropertyList::parse(test::plistDocument(body));
    EXPECT_EQ(list.root().toString(), u"\U0001F3B5A&"_s.repeated(repeats));
}
