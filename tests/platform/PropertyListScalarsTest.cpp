#include "platform/PropertyListScalars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

using namespace quaverly::plist;

namespace {

constexpr qint64 kMax = std::numeric_limits<qint64>::max();
constexpr qint64 kMin = std::numeric_limits<qint64>::min();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Expectation of one row: a value, or the error.
template<typename T>
struct Row
{
    const char *text;
    std::optional<T> value;
    std::optional<ScalarError> error;
};

template<typename T>
void expectRow(const Row<T> &row, const Parsed<T> &parsed)
{
    SCOPED_TRACE(std::string("text \"") + row.text + '"');
    ASSERT_EQ(bool(parsed), !row.error);
    EXPECT_EQ(parsed.error, row.error);
    if (row.value) {
        EXPECT_EQ(parsed.value, *row.value);
    }
}

} // namespace

TEST(PropertyListScalarsTest, IntegerCoversTheWholeRangeAndNothingElse)
{
    const Row<qint64> rows[] = {
        {"0", 0, {}},
        {"-0", 0, {}},
        {"\t+42\r\n", 42, {}},
        {"9223372036854775807", kMax, {}},
        {"-9223372036854775808", kMin, {}},
        {"9223372036854775808", {}, ScalarError::outOfRange},
        {"-9223372036854775809", {}, ScalarError::outOfRange},
        {"99999999999999999999999", {}, ScalarError::outOfRange},
        // Junk after an overflowing run of digits is junk, not range.
        {"99999999999999999999x", {}, ScalarError::notDecimal},
        {"", {}, ScalarError::notDecimal},
        {"  ", {}, ScalarError::notDecimal},
        {"-", {}, ScalarError::notDecimal},
        {"+-1", {}, ScalarError::notDecimal},
        {"1 2", {}, ScalarError::notDecimal},
        {"1.0", {}, ScalarError::notDecimal},
        {"0x10", {}, ScalarError::notDecimal},
    };
    for (const Row<qint64> &row : rows)
        expectRow(row, parseInteger(row.text));
}

TEST(PropertyListScalarsTest, RealAcceptsFiniteNumbersAndNamedSpecialsOnly)
{
    const Row<double> rows[] = {
        {" -1.5e3 ", -1500.0, {}},
        {".5", 0.5, {}},
        {"1E2", 100.0, {}},
        {"INF", kInfinity, {}},
        {"+Infinity", kInfinity, {}},
        {"-inf", -kInfinity, {}},
        {"NaN", {}, {}},
        {"1e400", {}, ScalarError::notANumber},
        {"1e-400", {}, ScalarError::notANumber},
        {"0x1p3", {}, ScalarError::notANumber},
        {"1,5", {}, ScalarError::notANumber},
        {"1e", {}, ScalarError::notANumber},
        {"infinit", {}, ScalarError::notANumber},
        {"", {}, ScalarError::notANumber},
    };
    for (const Row<double> &row : rows)
        expectRow(row, parseReal(row.text));
    EXPECT_TRUE(std::isnan(parseReal("NaN").value));
}

TEST(PropertyListScalarsTest, DateNamesOnlyRealInstantsInTheExactForm)
{
    constexpr qint64 day = 86'400'000;
    const Row<qint64> rows[] = {
        {"1970-01-01T00:00:00Z", 0, {}},
        {"\n1969-12-31T23:59:59Z\t", -1000, {}},
        {"2000-02-29T00:00:00Z", 11'016 * day, {}},
        {"2024-12-31T23:59:59Z", 20'088 * day + 86'399'000, {}},
        {"0000-01-01T00:00:00Z", -719'528 * day, {}},
        {"1900-02-29T00:00:00Z", {}, ScalarError::notADate},
        {"2023-04-31T00:00:00Z", {}, ScalarError::notADate},
        {"2023-00-10T00:00:00Z", {}, ScalarError::notADate},
        {"2023-13-10T00:00:00Z", {}, ScalarError::notADate},
        {"2023-01-00T00:00:00Z", {}, ScalarError::notADate},
        {"2023-01-01T24:00:00Z", {}, ScalarError::notADate},
        {"2023-01-01T00:60:00Z", {}, ScalarError::notADate},
        {"2023-01-01T00:00:60Z", {}, ScalarError::notADate},
        {"2023-01-01t00:00:00Z", {}, ScalarError::notADate},
        {"2023-01-01T00:00:00", {}, ScalarError::notADate},
        {"2023-01-01T00:00:00+01:00", {}, ScalarError::notADate},
        {"2023-1-01T00:00:00Z", {}, ScalarError::notADate},
    };
    for (const Row<qint64> &row : rows)
        expectRow(row, parseDate(row.text));
}

TEST(PropertyListScalarsTest, Base64NeedsWholeGroupsWithPaddingOnlyAtTheEnd)
{
    struct Base64Row
    {
        const char *text;
        std::optional<std::string> bytes;
    };
    const Base64Row rows[] = {
        {"", ""},
        {" \n\t", ""},
        {"AAEC/w==", std::string("\x00\x01\x02\xff", 4)},
        {"YWJj", "abc"},
        {"YWI=", "ab"},
        {"YQ==", "a"},
        {" Y W\nI\r= ", "ab"},
        {"YWJjZA==", "abcd"},
        {"YQ", std::nullopt},
        {"YWJjZ", std::nullopt},
        {"Y===", std::nullopt},
        {"====", std::nullopt},
        {"YQ===", std::nullopt},
        {"YQ==YQ==", std::nullopt},
        {"YW=I", std::nullopt},
        {"YW*I", std::nullopt},
        {"YW-_", std::nullopt},
    };
    for (const Base64Row &row : rows) {
        SCOPED_TRACE(std::string("text \"") + row.text + '"');
        std::string text = row.text;
        const Parsed<std::size_t> decoded = decodeBase64InPlace(text.data(), text.size());
        ASSERT_EQ(bool(decoded), row.bytes.has_value());
        if (row.bytes) {
            EXPECT_EQ(text.substr(0, decoded.value), *row.bytes);
        } else {
            EXPECT_EQ(decoded.error, ScalarError::notBase64);
        }
    }
}
