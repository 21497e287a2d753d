#pragma once

// The texts of a property list's scalar elements turned into values: <integer>, <real>, <date>
// and <data>. Booleans have no text (<true/>, <false/>) and need no parser.
//
//   const plist::Parsed<qint64> n = plist::parseInteger(" -42\n");  // n.value == -42
//   if (!n) report(*n.error);
//
// Surrounding XML whitespace is ignored everywhere; nothing depends on the locale.

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quaverly::plist {

/// Why a text is not a value of its element's type.
enum class ScalarError : std::uint8_t { notDecimal, outOfRange, notANumber, notADate, notBase64 };

/// A value read from a text, or why there is none (then `value` is meaningless).
template<typename T>
struct Parsed
{
    T value{};
    std::optional<ScalarError> error{};

    explicit operator bool() const { return !error; }
};

/// Space, tab, line feed or carriage return.
[[nodiscard]] constexpr bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/// `text` without leading and trailing XML whitespace.
[[nodiscard]] std::string_view trimmed(std::string_view text);

/// An optionally signed decimal within the signed 64-bit range.
[[nodiscard]] Parsed<qint64> parseInteger(std::string_view text);

/// A decimal or exponent real, or nan / inf / infinity in any case. Refuses hexadecimal and
/// values that would overflow to infinity or underflow to zero.
[[nodiscard]] Parsed<double> parseReal(std::string_view text);

/// Exactly `YYYY-MM-DDTHH:MM:SSZ` naming a real instant, as milliseconds since 1970 (UTC).
[[nodiscard]] Parsed<qint64> parseDate(std::string_view text);

/// Decodes padded base64, whitespace allowed anywhere, over `text` itself (the output never
/// overtakes the input); answers the decoded length.
[[nodiscard]] Parsed<std::size_t> decodeBase64InPlace(char *text, std::size_t length);

} // namespace quaverly::plist
