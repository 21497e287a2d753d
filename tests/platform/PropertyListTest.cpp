#include "platform/PropertyList.h"

#include "support/PlistText.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using quaverly::PropertyList;
using quaverly::PropertyListError;
using quaverly::test::plistDocument;

namespace {

QString parseError(const QByteArray &bytes)
{
    return quaverly::test::errorOf<PropertyListError>([&] { (void)PropertyList::parse(bytes); });
}

} // namespace

TEST(PropertyListTest, ReadsEveryValueTypeAndARepeatedKeysLastValue)
{
    const PropertyList list = PropertyList::parse(plistDocument(R"(<dict>
        <key>Name</key><string>Caf&#xE9; &amp; &lt;more&gt; &#x1F3B5;</string>
        <key>Empty</key><string/>
        <key>Count</key><string>replaced</string>
        <key>Count</key><integer> +007 </integer>
        <key>Real</key><real>-1.5e3</real>
        <key>Leap</key><date>2024-02-29T23:59:59Z</date>
        <key>Data</key><data>
            AAEC/w==
        </data>
        <key>Yes</key><true/>
        <key>No</key><false/>
        <key>Items</key><array><dict><key>Name</key><integer>3</integer><key>Name</key><integer>4</integer></dict>
            <string><![CDATA[<dict> & ]]>&#x3C;t&#62;</string></array>
    </dict>)"));
    const PropertyList::Value root = list.root();
    ASSERT_TRUE(root.isDictionary() && root.size() == 9u);
    const auto get = [&](QStringView key) { return root.value(key).value_or(root); };
    EXPECT_EQ(get(u"Name").toString(), u"Café & <more> \U0001F3B5"_s);
    EXPECT_EQ(get(u"Empty").toString(), QString());
    EXPECT_EQ(get(u"Count").toInteger(), 7);
    EXPECT_EQ(get(u"Real").toReal(), -1500.0);
    EXPECT_EQ(get(u"Leap").toDate(), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC));
    EXPECT_EQ(get(u"Data").toData(), QByteArray("\x00\x01\x02\xff", 4));
    EXPECT_TRUE(get(u"Yes").toBoolean() == true && get(u"No").toBoolean() == false);
    const PropertyList::Value items = get(u"Items");
    ASSERT_TRUE(items.isArray() && items.size() == 2u);
    EXPECT_TRUE(items.at(0).size() == 1 && items.at(0).value(u"Name").value_or(root).toInteger() == 4);
    EXPECT_EQ(items.at(1).toString(), u"<dict> & <t>"_s);
    // A whole-valued real is still a real, and a text no number: readers treat them as missing.
    EXPECT_FALSE(get(u"Real").toInteger() || get(u"Count").toReal() || get(u"Name").toInteger());
}

TEST(PropertyListTest, ReadsValuesAndTokensLongerThanOneFeed)
{
    const QByteArray longText(3'000'000, 'x');
    const QByteArray longKey = QByteArray(1'500'000, 'k') + "\xC3\xA9";
    const QByteArray payload = QByteArray(2'000'000, '\x5A');
    const PropertyList list = PropertyList::parse(
        plistDocument("<!--" + QByteArray(3'000'000, '-').replace("--", "- ") + "--><dict><key>" + longKey
                      + "</key><string>" + longText + "</string><key>d</key><data>" + payload.toBase64()
                      + "</data></dict>"));
    ASSERT_EQ(list.root().size(), 2u);
    EXPECT_EQ(list.root().entryAt(0).key(), QString::fromUtf8(longKey));
    EXPECT_EQ(list.root().entryAt(0).value().toUtf8(), QByteArrayView(longText));
    EXPECT_EQ(list.root().value(u"d")->toData(), payload);
}

TEST(PropertyListTest, RefusesMalformedInputSayingWhat)
{
    // One case per fault class; the fuzz replay covers the scalar and encoding faults end to end.
    const std::pair<QByteArray, QString> cases[] = {
        {"", u"the file is empty"_s},
        {"Music Library", u"syntax error"_s},
        {"<plist>\n<dict><key>a</key><string>tex", u"no element found at line 2, column 30"_s},
        {"<dict/>", u"the root element is <dict>, not <plist>"_s},
        {"<plist>\n</plist>", u"<plist> holds no value"_s},
        {"<plist><true/><false/></plist>", u"<plist> holds more than one value"_s},
        {"<plist><dict><foo/></dict></plist>", u"unexpected element <foo>"_s},
        {"<plist><dict>%1 %2</dict></plist>", u"unexpected text \"%1 %2\" inside <dict>"_s},
        {"<plist><dict><string>a</string></dict></plist>", u"missing <key> before <string>"_s},
        {"<plist><dict><key>a</key><key>b</key><true/></dict></plist>", u"the key \"a\" has no value"_s},
        {"<plist><array><key>a</key></array></plist>", u"<key> outside a dictionary"_s},
        {"<plist><dict><key>a<true/></key><true/></dict></plist>", u"unexpected element <true> inside <key>"_s},
        {"<plist><integer>0x10</integer></plist>", u"the integer \"0x10\" is not a decimal number"_s},
        {"<plist><real>1,5</real></plist>", u"the real \"1,5\" is not a number"_s},
        {"<plist><data>AA*A</data></plist>", u"the data is not valid base64"_s},
        {"<!DOCTYPE plist SYSTEM \"plist.dtd\"><plist><string>&x;</string></plist>",
         u"the entity &x; is not defined"_s},
    };
    for (const auto &[bytes, problem] : cases) {
        SCOPED_TRACE(problem.toStdString());
        EXPECT_TRUE(parseError(bytes).contains(problem)) << parseError(bytes).toStdString();
    }
}
