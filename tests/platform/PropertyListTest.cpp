#include "platform/PropertyList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
        <key>Items</key><array><integer>1</integer><dict/><array/><string>x</string></array>
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
    EXPECT_EQ(get(u"Yes").toBoolean(), true);
    EXPECT_EQ(get(u"No").toBoolean(), false);

    const PropertyList::Value items = get(u"Items");
    ASSERT_TRUE(items.isArray());
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items.at(0).toInteger(), 1);
    EXPECT_TRUE(items.at(1).isDictionary());
    EXPECT_EQ(items.at(1).size(), 0u);
    EXPECT_TRUE(items.at(2).isArray());
    EXPECT_EQ(items.at(3).toString(), u"x"_s);
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
    EXPECT_EQ(root.value(u"Count")->toReal(), std::nullopt);
    EXPECT_EQ(root.value(u"Count")->toString(), std::nullopt);
    EXPECT_EQ(root.value(u"Text")->toInteger(), std::nullopt);
    EXPECT_EQ(root.value(u"Text")->toData(), std::nullopt);
    EXPECT_EQ(root.value(u"Text")->toDate(), std::nullopt);
    EXPECT_EQ(root.value(u"Text")->toBoolean(), std::nullopt);
    EXPECT_EQ(root.value(u"Text")->size(), 0u);
    EXPECT_FALSE(root.value(u"Text")->value(u"Whole").has_value());
    EXPECT_FALSE(root.value(u"Missing").has_value());
    EXPECT_EQ(list.keyId(u"Missing"), std::nullopt);
}

TEST(PropertyListTest, AcceptsEveryExportedShape)
{
    const QByteArray value = "<dict><key>A</key><string>b</string></dict>";
    static constexpr char16_t utf16[] = u"\uFEFF<plist><dict><key>A</key><string>b</string></dict></plist>";
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
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
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const PropertyList list = PropertyList::parse(c.bytes);
        ASSERT_TRUE(list.root().isDictionary());
        ASSERT_TRUE(list.root().value(u"A").has_value());
        EXPECT_EQ(list.root().value(u"A")->toString(), u"b"_s);
    }
}

TEST(PropertyListTest, KeepsCdataAndCharacterReferencesVerbatim)
{
    const PropertyList list = PropertyList::parse(
        plist("<array><string><![CDATA[<dict> & ]]>&#x3C;tail&#62;</string><string>a&#10;b</string></array>"));
    ASSERT_EQ(list.root().size(), 2u);
    EXPECT_EQ(list.root().at(0).toString(), u"<dict> & <tail>"_s);
    EXPECT_EQ(list.root().at(1).toString(), u"a\nb"_s);
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
    EXPECT_EQ(first.entryAt(0).key(), u"b"_s);
    EXPECT_EQ(first.entryAt(1).key(), u"a"_s);
    const PropertyList::Value inner = first.entryAt(1).value();
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner.value(u"a")->toInteger(), 4);

    // Keys are interned across the whole document.
    ASSERT_EQ(list.keyCount(), 3u);
    const auto b = list.keyId(u"b");
    ASSERT_TRUE(b.has_value());
    const PropertyList::Value second = list.root().at(1);
    EXPECT_EQ(second.entryAt(0).keyId(), *b);
    EXPECT_EQ(first.entryAt(0).keyId(), *b);
    EXPECT_EQ(list.keyText(*b), u"b"_s);
    EXPECT_EQ(second.value(*b)->toString(), u"x"_s);
    EXPECT_EQ(second.value(*list.keyId(u"c"))->toBoolean(), true);
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
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString problem; // what the sentence must say, including the position
    } cases[] = {
        {"empty", "", u"the file is empty"_s},
        {"not XML", "Music Library", u"syntax error at line 1, column 1"_s},
        {"truncated", "<plist>\n<dict><key>a</key><string>tex", u"no element found at line 2, column 30"_s},
        {"junk after root", "<plist><true/></plist>x", u"junk after document element at line 1, column 23"_s},
        {"mismatched tag", "<plist><dict></array></plist>", u"mismatched tag at line 1, column 16"_s},
        {"other root", "<dict/>", u"the root element is <dict>, not <plist> at line 1, column 1"_s},
        {"no value", "<plist>\n</plist>", u"<plist> holds no value at line 2, column 1"_s},
        {"two values", "<plist><true/><false/></plist>", u"<plist> holds more than one value at line 1, column 15"_s},
        {"unknown element", "<plist><dict>\n    <foo/></dict></plist>",
         u"unexpected element <foo> at line 2, column 5"_s},
        {"nested plist", "<plist><array><plist/></array></plist>",
         u"unexpected element <plist> at line 1, column 15"_s},
        {"text in dict", "<plist><dict> hi </dict></plist>",
         u"unexpected text \"hi\" inside <dict> at line 1, column 14"_s},
        {"text like a placeholder", "<plist><dict>%1 %2</dict></plist>",
         u"unexpected text \"%1 %2\" inside <dict> at line 1, column 14"_s},
        {"text in plist", "<plist>5</plist>", u"unexpected text \"5\" inside <plist> at line 1, column 8"_s},
        {"text in array", "<plist><array><![CDATA[x]]></array></plist>", u"unexpected text \"x\" inside <array>"_s},
        {"text in true", "<plist><true>yes</true></plist>", u"unexpected text \"yes\" inside <true>"_s},
        {"value without key", "<plist><dict><string>a</string></dict></plist>",
         u"missing <key> before <string> at line 1, column 14"_s},
        {"key without value", "<plist><dict><key>a</key></dict></plist>",
         u"the key \"a\" has no value at line 1, column 26"_s},
        {"two keys", "<plist><dict><key>a</key><key>b</key><true/></dict></plist>",
         u"the key \"a\" has no value at line 1, column 26"_s},
        {"key in array", "<plist><array><key>a</key></array></plist>",
         u"<key> outside a dictionary at line 1, column 15"_s},
        {"key in plist", "<plist><key>a</key></plist>", u"<key> outside a dictionary at line 1, column 8"_s},
        {"element in key", "<plist><dict><key>a<true/></key><true/></dict></plist>",
         u"unexpected element <true> inside <key> at line 1, column 20"_s},
        {"element in string", "<plist><string><b>x</b></string></plist>",
         u"unexpected element <b> inside <string> at line 1, column 16"_s},
        {"integer too large", "<plist><integer>9223372036854775808</integer></plist>",
         u"the integer \"9223372036854775808\" is outside the 64-bit range at line 1, column 36"_s},
        {"integer too small", "<plist><integer>-9223372036854775809</integer></plist>",
         u"the integer \"-9223372036854775809\" is outside the 64-bit range"_s},
        {"hexadecimal integer", "<plist><integer>0x10</integer></plist>",
         u"the integer \"0x10\" is not a decimal number"_s},
        {"fractional integer", "<plist><integer>1.0</integer></plist>",
         u"the integer \"1.0\" is not a decimal number"_s},
        {"overflow then junk", "<plist><integer>99999999999999999999z</integer></plist>",
         u"the integer \"99999999999999999999z\" is not a decimal number"_s},
        {"empty integer", "<plist><integer/></plist>", u"the integer \"\" is not a decimal number"_s},
        {"sign only", "<plist><integer>-</integer></plist>", u"the integer \"-\" is not a decimal number"_s},
        {"inner space", "<plist><integer>1 2</integer></plist>", u"the integer \"1 2\" is not a decimal number"_s},
        {"malformed real", "<plist><real>1,5</real></plist>",
         u"the real \"1,5\" is not a number at line 1, column 17"_s},
        {"empty real", "<plist><real> </real></plist>", u"the real \"\" is not a number"_s},
        {"real overflows", "<plist><real>1e400</real></plist>", u"the real \"1e400\" is not a number"_s},
        {"hexadecimal real", "<plist><real>0x1p3</real></plist>", u"the real \"0x1p3\" is not a number"_s},
        {"no leap day", "<plist><date>2023-02-29T00:00:00Z</date></plist>",
         u"the date \"2023-02-29T00:00:00Z\" is not a valid YYYY-MM-DDTHH:MM:SSZ date at line 1, column 34"_s},
        {"century leap day", "<plist><date>1900-02-29T00:00:00Z</date></plist>",
         u"the date \"1900-02-29T00:00:00Z\""_s},
        {"month 13", "<plist><date>2024-13-01T00:00:00Z</date></plist>", u"the date \"2024-13-01T00:00:00Z\""_s},
        {"day 0", "<plist><date>2024-01-00T00:00:00Z</date></plist>", u"the date \"2024-01-00T00:00:00Z\""_s},
        {"hour 24", "<plist><date>2024-01-02T24:00:00Z</date></plist>", u"the date \"2024-01-02T24:00:00Z\""_s},
        {"second 60", "<plist><date>2024-01-02T03:04:60Z</date></plist>", u"the date \"2024-01-02T03:04:60Z\""_s},
        {"no zone", "<plist><date>2024-01-02T03:04:05</date></plist>", u"the date \"2024-01-02T03:04:05\""_s},
        {"fraction", "<plist><date>2024-01-02T03:04:05.5Z</date></plist>", u"the date \"2024-01-02T03:04:05.5Z\""_s},
        {"space separator", "<plist><date>2024-01-02 03:04:05Z</date></plist>", u"the date \"2024-01-02 03:04:05Z\""_s},
        {"base64 alphabet", "<plist><data>AA*A</data></plist>", u"the data is not valid base64 at line 1, column 18"_s},
        {"base64 unpadded", "<plist><data>AAA</data></plist>", u"the data is not valid base64"_s},
        {"base64 lone symbol", "<plist><data>AAAAA===</data></plist>", u"the data is not valid base64"_s},
        {"base64 inner padding", "<plist><data>AA==AAAA</data></plist>", u"the data is not valid base64"_s},
        {"invalid UTF-8", "<plist><string>\xFF</string></plist>",
         u"not well-formed (invalid token) at line 1, column 16"_s},
        {"overlong UTF-8", "<plist><string>\xC0\xAF</string></plist>",
         u"not well-formed (invalid token) at line 1, column 16"_s},
        {"surrogate reference", "<plist><string>&#xD800;</string></plist>",
         u"reference to invalid character number at line 1, column 16"_s},
        {"reference past Unicode", "<plist><string>&#x110000;</string></plist>",
         u"reference to invalid character number"_s},
        {"NUL reference", "<plist><string>&#0;</string></plist>", u"reference to invalid character number"_s},
        {"entity declaration", "<!DOCTYPE plist [\n<!ENTITY a \"b\">\n]><plist><string>&a;</string></plist>",
         u"the entity declaration \"a\" is not allowed at line 2, column 12"_s},
        {"parameter entity", "<!DOCTYPE plist [<!ENTITY % p \"x\">]><plist><true/></plist>",
         u"the entity declaration \"p\" is not allowed at line 1, column 31"_s},
        {"external entity",
         "<!DOCTYPE plist [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><plist><string>&e;</string></plist>",
         u"the entity declaration \"e\" is not allowed"_s},
        {"billion laughs",
         "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
         "<plist><string>&b;</string></plist>",
         u"the entity declaration \"a\" is not allowed"_s},
        {"undeclared entity", "<!DOCTYPE plist SYSTEM \"plist.dtd\"><plist><string>&x;</string></plist>",
         u"the entity &x; is not defined at line 1, column 51"_s},
        {"undeclared entity without DTD", "<plist><string>&x;</string></plist>",
         u"undefined entity at line 1, column 16"_s},
    };
    const QString prefix = u"The library file is not a valid property list: "_s;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString description = parseError(c.bytes);
        EXPECT_TRUE(description.startsWith(prefix)) << description.toStdString();
        EXPECT_TRUE(description.contains(c.problem)) << description.toStdString();
        EXPECT_TRUE(description.endsWith(u'.')) << description.toStdString();
    }
}
