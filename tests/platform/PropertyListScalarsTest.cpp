#include "platform/PropertyListScalars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

using namespace quaverly::plist;

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Expectation of one row: a value, or the error.
template<typename T>
struct Row
{
    const char *text;
    std::optional<T> value;
    std::optional<ScalarError> error;
};

template<typename T, typename Parse>
void expectRows(std::initializer_list<Row<T>> rows, Parse parse)
{
    for (const Row<T> &row : rows) {
        SCOPED_TRACE(std::string("text \"") + row.text + '"');
        const Parsed<T> parsed = parse(row.text);
        ASSERT_EQ(bool(parsed), !row.error);
        EXPECT_EQ(parsed.error, row.error);
        EXPECT_TRUE(!row.value || parsed.value == *row.value);
    }
}

} // namespace

TEST(PropertyListScalarsTest, IntegerCoversTheWholeRangeAndNothingElse)
{
    expectRows<qint64>({
        {"\t+42\r\n", 42, {}},
        {"9223372036854775807", std::numeric_limits<qint64>::max(), {}},
        {"-9223372036854775808", std::numeric_limits<qint64>::min(), {}},
        {"9223372036854775808", {}, ScalarError::outOfRange},
        {"-9223372036854775809", {}, ScalarError::outOfRange},
        // Junk after an overflowing run of digits is junk, not range.
        {"99999999999999999999x", {}, ScalarError::notDecimal},
        {"", {}, ScalarError::notDecimal},
        {"-", {}, ScalarError::notDecimal},
        {"1.0", {}, ScalarError::notDecimal},
    }, parseInteger);
}

TEST(PropertyListScalarsTest, RealAcceptsFiniteNumbersAndNamedSpecialsOnly)
{
    expectRows<double>({
        {" -1.5e3 ", -1500.0, {}},
        {"+Infinity", kInfinity, {}},
        {"-inf", -kInfinity, {}},
        {"NaN", {}, {}},
        {"1e400", {}, ScalarError::notANumber},
        {"0x1p3", {}, ScalarError::notANumber},
        {"infinit", {}, ScalarError::notANumber},
    }, parseReal);
    EXPECT_TRUE(std::isnan(parseReal("NaN").value));
}

TEST(PropertyListScalarsTest, DateNamesOnlyRealInstantsInTheExactForm)
{
    constexpr qint64 day = 86'400'000;
    expectRows<qint64>({
        {"\n1969-12-31T23:59:59Z\t", -1000, {}},
        {"2000-02-29T00:00:00Z", 11'016 * day, {}},
        {"0000-01-01T00:00:00Z", -719'528 * day, {}},
        {"1900-02-29T00:00:00Z", {}, ScalarError::notADate},
        {"2023-04-31T00:00:00Z", {}, ScalarError::notADate},
        {"2023-13-10T00:00:00Z", {}, ScalarError::notADate},
        {"2023-01-01T24:00:00Z", {}, ScalarError::notADate},
        {"2023-01-01T00:00:60Z", {}, ScalarError::notADate},
        {"2023-01-01T00:00:00+01:00", {}, ScalarError::notADate},
    }, parseDate);
}

TEST(PropertyListScalarsTest, Base64NeedsWholeGroupsWithPaddingOnlyAtTheEnd)
{
    const std::pair<const char *, std::optional<std::string>> rows[] = {
        {"", ""},
        {"AAEC/w==", std::string("\x00\x01\x02\xff", 4)},
        {" Y W\nI\r= ", "ab"},
        {"YQ", std::nullopt},
        {"Y===", std::nullopt},
        {"YQ==YQ==", std::nullopt},
        {"YW=I", std::nullopt},
        {"YW*I", std::nullopt},
    };
    for (const auto &[input, bytes] : rows) {
        SCOPED_TRACE(std::string("text \"") + input + '"');
        std::string text = input;
        const Parsed<std::size_t> decoded = decodeBase64InPlace(text.data(), text.size());
        ASSERT_EQ(bool(decoded), bytes.has_value());
        EXPECT_TRUE(bytes ? text.substr(0, decoded.value) == *bytes : decoded.error == ScalarError::notBase64);
    }
}
