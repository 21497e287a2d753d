#include "platform/PropertyList.h"
#include "platform/PropertyListParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace Qt::StringLiterals;
using quaverly::PropertyList;
using quaverly::PropertyListError;

namespace {

QByteArray plist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n"
        + body + "\n</plist>\n";
}

QByteArray nestedArrays(int depth)
{
    return "<plist>" + QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth) + "</plist>";
}

// The description of the error that parsing `bytes` throws, or a note that nothing was thrown.
QString parseError(const QByteArray &bytes)
{
    try {
        (void)PropertyList::parse(bytes);
    } catch (const PropertyListError &error) {
        return error.description();
    }
    return u"<no error>"_s;
}

} // namespace

TEST(PropertyListTest, ReadsEveryValueType)
{
    const PropertyList list = PropertyList::parse(plist(R"(<dict>
        <key>Name</key><string>Caf&#xE9; d&#233;j&#x00E0; vu &amp; &lt;more&gt; &#x1F3B5;</string>
        <key>Empty</key><string/>
        <key>Max</key><integer>9223372036854775807</integer>
        <key>Min</key><integer>-9223372036854775808</integer>
        <key>Padded</key><integer> +007 </integer>
        <key>Real</key><real>-1.5e3</real>
        <key>NaN</key><real>nan</real>
        <key>Infinity</key><real>-inf</real>
        <key>Leap</key><date>2024-02-29T23:59:59Z</date>
        <key>Epoch</key><date>1970-01-01T00:00:00Z</date>
        <key>Data</key><data>
            AAEC/w==
        </data>
        <key>NoData</key><data/>
        <key>Yes</key><true/>
        <key>No</key><false/>
        <key>Items</key><array><integer>1</integer><dict/><array/>
            <string><![CDATA[<dict> & ]]>&#x3C;t&#62;</string></array>
    </dict>)"));
    const PropertyList::Value root = list.root();
    ASSERT_TRUE(root.isDictionary());
    ASSERT_EQ(root.size(), 15u);
    const auto get = [&](QStringView key) {
        const auto value = root.value(key);
        EXPECT_TRUE(value.has_value()) << key.toString().toStdString();
        return value.value_or(root);
    };

    EXPECT_EQ(get(u"Name").toString(), u"Café déjà vu & <more> \U0001F3B5"_s);
    EXPECT_EQ(get(u"Name").toUtf8(), QByteArrayView(u"Café déjà vu & <more> \U0001F3B5"_s.toUtf8()));
    EXPECT_EQ(get(u"Empty").toString(), QString());
    EXPECT_EQ(get(u"Max").toInteger(), std::numeric_limits<qint64>::max());
    EXPECT_EQ(get(u"Min").toInteger(), std::numeric_limits<qint64>::min());
    EXPECT_EQ(get(u"Padded").toInteger(), 7);
    EXPECT_EQ(get(u"Real").toReal(), -1500.0);
    EXPECT_TRUE(std::isnan(get(u"NaN").toReal().value_or(0)));
    EXPECT_EQ(get(u"Infinity").toReal(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(get(u"Leap").toDate(), QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::UTC));
    EXPECT_EQ(get(u"Epoch").toDate()->toMSecsSinceEpoch(), 0);
    EXPECT_EQ(get(u"Data").toData(), QByteArray("\x00\x01\x02\xff", 4));
    EXPECT_EQ(get(u"NoData").toData(), QByteArray());
    EXPECT_TRUE(get(u"Yes").toBoolean() == true && get(u"No").toBoolean() == false);

    const PropertyList::Value items = get(u"Items");
    ASSERT_TRUE(items.isArray());
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items.at(0).toInteger(), 1);
    EXPECT_TRUE(items.at(1).isDictionary() && items.at(1).size() == 0 && items.at(2).isArray());
    EXPECT_EQ(items.at(3).toString(), u"<dict> & <t>"_s);
    EXPECT_EQ(root.entryAt(14).key(), u"Items"_s);
}

TEST(PropertyListTest, TypedAccessorsAnswerNothingForOtherTypes)
{
    const PropertyList list = PropertyList::parse(
        plist("<dict><key>Whole</key><real>5</real><key>Count</key><integer>5</integer>"
              "<key>Text</key><string>5</string></dict>"));
    const PropertyList::Value root = list.root();
    ASSERT_TRUE(root.value(u"Whole") && root.value(u"Count") && root.value(u"Text"));
    // A whole-valued real is still a real: readers asking for an integer treat it as missing.
    EXPECT_EQ(root.value(u"Whole")->toInteger(), std::nullopt);
    EXPECT_EQ(root.value(u"Whole")->toReal(), 5.0);
    EXPECT_FALSE(root.value(u"Count")->toReal() || root.value(u"Count")->toString());
    const PropertyList::Value text = *root.value(u"Text");
    EXPECT_FALSE(text.toInteger() || text.toData() || text.toDate() || text.toBoolean() || text.value(u"Whole"));
    EXPECT_EQ(text.size(), 0u);
    EXPECT_FALSE(root.value(u"Missing") || list.keyId(u"Missing"));
}

TEST(PropertyListTest, AcceptsEveryExportedShape)
{
    const QByteArray value = "<dict><key>A</key><string>b</string></dict>";
    static constexpr char16_t utf16[] = u"\uFEFF<plist><dict><key>A</key><string>b</string></dict></plist>";
    const std::pair<const char *, QByteArray> cases[] = {
        {"full header", plist(value)},
        {"bare plist", "<plist>" + value + "</plist>"},
        {"byte order mark", "\xEF\xBB\xBF<plist>" + value + "</plist>"},
        {"comments and instructions",
         "<!-- before --><?pi x?><plist><!-- in --><dict><?pi y?><key>A</key><!-- c -->"
         "<string>b</string></dict></plist><!-- after -->"},
        {"whitespace", "\n<plist>\r\n\t<dict>\n  <key>A</key>\n  <string>b</string>\n</dict>\n</plist>\n\n"},
        {"long form", "<plist><dict><key>A</key><string>b</string><key>E</key><dict></dict></dict></plist>"},
        {"UTF-16", QByteArray(reinterpret_cast<const char *>(utf16), sizeof(utf16) - sizeof(char16_t))},
    };
    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        const PropertyList list = PropertyList::parse(bytes);
        ASSERT_TRUE(list.root().isDictionary() && list.root().value(u"A").has_value());
        EXPECT_EQ(list.root().value(u"A")->toString(), u"b"_s);
    }
}

TEST(PropertyListTest, RepeatedKeyKeepsItsLastValue)
{
    const PropertyList list = PropertyList::parse(plist(R"(<array>
        <dict><key>a</key><integer>1</integer><key>b</key><integer>2</integer>
              <key>a</key><dict><key>a</key><integer>3</integer><key>a</key><integer>4</integer></dict></dict>
        <dict><key>b</key><string>x</string><key>c</key><true/></dict>
    </array>)"));
    const PropertyList::Value first = list.root().at(0);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_TRUE(first.entryAt(0).key() == u"b"_s && first.entryAt(1).key() == u"a"_s);
    const PropertyList::Value inner = first.entryAt(1).value();
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner.value(u"a")->toInteger(), 4);
    // Keys are interned across the whole document.
    ASSERT_EQ(list.keyCount(), 3u);
    const auto b = list.keyId(u"b");
    ASSERT_TRUE(b.has_value());
    EXPECT_TRUE(first.entryAt(0).keyId() == *b && list.root().at(1).entryAt(0).keyId() == *b);
    EXPECT_EQ(list.keyText(*b), u"b"_s);
    EXPECT_EQ(list.root().at(1).value(*b)->toString(), u"x"_s);
}

TEST(PropertyListTest, KeepsChildrenInOrderAcrossNestedContainers)
{
    QByteArray body = "<array>";
    for (int i = 0; i < 3000; ++i) {
        body += "<dict><key>n</key><integer>" + QByteArray::number(i) + "</integer><key>list</key><array>";
        for (int j = 0; j < i % 4; ++j)
            body += "<integer>" + QByteArray::number(j) + "</integer>";
        body += "</array></dict>";
    }
    body += "</array>";
    const PropertyList list = PropertyList::parse(plist(body));
    ASSERT_EQ(list.root().size(), 3000u);
    for (std::size_t i = 0; i < 3000; ++i) {
        const PropertyList::Value item = list.root().at(i);
        ASSERT_EQ(item.value(u"n")->toInteger(), qint64(i));
        const PropertyList::Value inner = *item.value(u"list");
        ASSERT_EQ(inner.size(), i % 4);
        for (std::size_t j = 0; j < inner.size(); ++j)
            ASSERT_EQ(inner.at(j).toInteger(), qint64(j));
    }
}

TEST(PropertyListTest, ReadsValuesAndTokensLongerThanOneFeed)
{
    const QByteArray longText(3'000'000, 'x');
    const QByteArray longKey = QByteArray(1'500'000, 'k') + "\xC3\xA9";
    const QByteArray payload = QByteArray(2'000'000, '\x5A');
    const PropertyList list = PropertyList::parse(
        plist("<!--" + QByteArray(3'000'000, '-').replace("--", "- ") + "--><dict><key>" + longKey + "</key><string>"
              + longText + "</string><key>d</key><data>" + payload.toBase64() + "</data></dict>"));
    ASSERT_EQ(list.root().size(), 2u);
    EXPECT_EQ(list.root().entryAt(0).key(), QString::fromUtf8(longKey));
    EXPECT_EQ(list.root().entryAt(0).value().toUtf8(), QByteArrayView(longText));
    EXPECT_EQ(list.root().value(u"d")->toData(), payload);
}

TEST(PropertyListTest, AcceptsNestingUpToTheLimitAndRefusesDeeper)
{
    const PropertyList list = PropertyList::parse(nestedArrays(512));
    PropertyList::Value value = list.root();
    int depth = 1;
    while (value.size() == 1) {
        value = value.at(0);
        ++depth;
    }
    EXPECT_EQ(depth, 512);
    EXPECT_EQ(parseError(nestedArrays(513)),
              u"The library file is not a valid property list: values are nested deeper than 512 levels "
              "at line 1, column 3592."_s);
    EXPECT_TRUE(parseError(nestedArrays(100'000)).contains(u"nested deeper than 512 levels"));
}

TEST(PropertyListTest, RefusesMalformedInputSayingWhatAndWhere)
{
    // One case per fault class; the problem includes the position where the parser knows it.
    const std::pair<QByteArray, QString> cases[] = {
        {"", u"the file is empty"_s},
        {"Music Library", u"syntax error at line 1, column 1"_s},
        {"<plist>\n<dict><key>a</key><string>tex", u"no element found at line 2, column 30"_s},
        {"<plist><dict></array></plist>", u"mismatched tag at line 1, column 16"_s},
        {"<dict/>", u"the root element is <dict>, not <plist> at line 1, column 1"_s},
        {"<plist>\n</plist>", u"<plist> holds no value at line 2, column 1"_s},
        {"<plist><true/><false/></plist>", u"<plist> holds more than one value at line 1, column 15"_s},
        {"<plist><dict>\n    <foo/></dict></plist>", u"unexpected element <foo> at line 2, column 5"_s},
        {"<plist><dict>%1 %2</dict></plist>", u"unexpected text \"%1 %2\" inside <dict> at line 1, column 14"_s},
        {"<plist><dict><string>a</string></dict></plist>", u"missing <key> before <string> at line 1, column 14"_s},
        {"<plist><dict><key>a</key><key>b</key><true/></dict></plist>",
         u"the key \"a\" has no value at line 1, column 26"_s},
        {"<plist><array><key>a</key></array></plist>", u"<key> outside a dictionary at line 1, column 15"_s},
        {"<plist><dict><key>a<true/></key><true/></dict></plist>",
         u"unexpected element <true> inside <key> at line 1, column 20"_s},
        {"<plist><integer>9223372036854775808</integer></plist>",
         u"the integer \"9223372036854775808\" is outside the 64-bit range at line 1, column 36"_s},
        {"<plist><integer>0x10</integer></plist>", u"the integer \"0x10\" is not a decimal number"_s},
        {"<plist><real>1,5</real></plist>", u"the real \"1,5\" is not a number at line 1, column 17"_s},
        {"<plist><date>2023-02-29T00:00:00Z</date></plist>",
         u"the date \"2023-02-29T00:00:00Z\" is not a valid YYYY-MM-DDTHH:MM:SSZ date at line 1, column 34"_s},
        {"<plist><data>AA*A</data></plist>", u"the data is not valid base64 at line 1, column 18"_s},
        {"<plist><string>\xC0\xAF</string></plist>", u"not well-formed (invalid token) at line 1, column 16"_s},
        {"<plist><string>&#xD800;</string></plist>", u"reference to invalid character number at line 1, column 16"_s},
        {"<!DOCTYPE plist [\n<!ENTITY a \"b\">\n]><plist><string>&a;</string></plist>",
         u"the entity declaration \"a\" is not allowed at line 2, column 12"_s},
        {"<!DOCTYPE plist SYSTEM \"plist.dtd\"><plist><string>&x;</string></plist>",
         u"the entity &x; is not defined at line 1, column 51"_s},
        {"<plist><string>&x;</string></plist>", u"undefined entity at line 1, column 16"_s},
    };
    const QString prefix = u"The library file is not a valid property list: "_s;
    for (const auto &[bytes, problem] : cases) {
        SCOPED_TRACE(problem.toStdString());
        const QString description = parseError(bytes);
        EXPECT_TRUE(description.startsWith(prefix)) << description.toStdString();
        EXPECT_TRUE(description.contains(problem)) << description.toStdString();
        EXPECT_TRUE(description.endsWith(u'.')) << description.toStdString();
    }
}

TEST(PropertyListTest, ParserHandsStreamedElementsOverInSlicesWithTheirKeys)
{
    // Enough elements for several slices, fed in small pieces.
    constexpr int count = 60'000;
    QByteArray body = "<dict><key>Before</key><true/><key>Streamed</key><dict>";
    for (int i = 0; i < count; ++i)
        body += "<key>k" + QByteArray::number(i) + "</key><dict><key>v</key><string>"
            + QByteArray::number(i).rightJustified(24, '0') + "</string></dict>";
    body += "</dict><key>List</key><array><string>x</string><string>y</string></array></dict>";
    const QByteArray bytes = plist(body);

    std::vector<quaverly::PropertyListParser::Slice> slices;
    quaverly::PropertyListParser parser({"Streamed", "List"},
                                        [&](quaverly::PropertyListParser::Slice slice) { slices.push_back(slice); });
    for (qsizetype at = 0; at < bytes.size(); at += 4096)
        parser.feed(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(4096, bytes.size() - at)));
    const PropertyList rest = parser.finish();
    EXPECT_FALSE(parser.slicesMissRepeatedKeys());

    ASSERT_GE(slices.size(), 3u);
    int next = 0;
    for (std::size_t s = 0; s + 1 < slices.size(); ++s) {
        SCOPED_TRACE(s);
        const PropertyList::Value root = slices[s].elements.root();
        ASSERT_EQ(slices[s].container, 0u);
        ASSERT_TRUE(root.isDictionary());
        EXPECT_EQ(slices[s].last, s + 2 == slices.size());
        for (std::size_t i = 0; i < root.size(); ++i, ++next) {
            const PropertyList::Entry entry = root.entryAt(i);
            ASSERT_EQ(entry.key(), u"k"_s + QString::number(next));
            ASSERT_EQ(entry.value().value(u"v").value_or(root).toString(), QString::number(next).rightJustified(24, u'0'));
        }
    }
    EXPECT_EQ(next, count);
    const PropertyList::Value list = slices.back().elements.root();
    EXPECT_TRUE(slices.back().container == 1 && slices.back().last && list.isArray() && list.size() == 2);

    // The tree keeps the other values and each streamed container, empty.
    const PropertyList::Value root = rest.root();
    EXPECT_EQ(root.value(u"Before").value_or(root).toBoolean(), true);
    EXPECT_TRUE(root.value(u"Streamed").value_or(root).isDictionary() && root.value(u"Streamed")->size() == 0);
    EXPECT_TRUE(root.value(u"List").value_or(root).isArray() && root.value(u"List")->size() == 0);
}
