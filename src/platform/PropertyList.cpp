#include "platform/PropertyList.h"

#include <expat.h>

#include <QHashFunctions>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

using KeyId = PropertyList::KeyId;
using Type = PropertyList::Type;

// Deeper files are refused: a hostile file must not be able to exhaust memory or time
// through nesting, and real libraries nest five levels at most.
constexpr std::size_t kMaxDepth = 512;
// expat copies each fed chunk into its own buffer; feeding in chunks keeps that buffer small.
constexpr std::size_t kChunkSize = std::size_t(1) << 20;
constexpr KeyId kNoKey = std::numeric_limits<KeyId>::max();
// The smallest value element, `<true/>`, takes seven bytes, which bounds the node count.
constexpr std::size_t kSmallestValueBytes = 7;

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Offending text or names for an error sentence, cut short: a hostile file may hold megabytes.
QString shortened(std::string_view text)
{
    constexpr qsizetype kLimit = 40;
    const std::string_view head = text.substr(0, 4 * kLimit);
    QString result = QString::fromUtf8(head.data(), qsizetype(head.size()));
    if (result.size() > kLimit || head.size() < text.size())
        result = result.left(kLimit) + u'\u2026';
    return result;
}

QString excerpt(std::string_view text)
{
    return u'"' + shortened(text) + u'"';
}

enum class IntegerParse { Ok, NotDecimal, OutOfRange };

IntegerParse parseInteger(std::string_view text, qint64 &result)
{
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return IntegerParse::NotDecimal;
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return IntegerParse::NotDecimal;
        // Keep scanning after an overflow so that trailing junk is reported as such.
        if (overflow)
            continue;
        const auto digit = std::uint64_t(c - '0');
        if (magnitude > (limit - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (overflow)
        return IntegerParse::OutOfRange;
    result = negative ? qint64(0 - magnitude) : qint64(magnitude);
    return IntegerParse::Ok;
}

bool equalsIgnoringCase(std::string_view text, std::string_view lowerCase)
{
    return text.size() == lowerCase.size()
        && std::equal(text.begin(), text.end(), lowerCase.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
           });
}

bool parseReal(std::string_view text, double &result)
{
    text = trimmed(text);
    if (text.empty())
        return false;
    if (equalsIgnoringCase(text, "nan")) {
        result = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    std::string_view magnitude = text;
    if (magnitude.front() == '+' || magnitude.front() == '-')
        magnitude.remove_prefix(1);
    if (equalsIgnoringCase(magnitude, "inf") || equalsIgnoringCase(magnitude, "infinity")) {
        const double infinity = std::numeric_limits<double>::infinity();
        result = text.front() == '-' ? -infinity : infinity;
        return true;
    }
    // Qt's conversion is locale-independent, refuses hexadecimal and refuses values that would
    // overflow to infinity or underflow to zero, which a file never means.
    bool ok = false;
    result = QByteArrayView(text.data(), qsizetype(text.size())).toDouble(&ok);
    return ok;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + qint64(dayOfEra) - 719468;
}

// Accepts exactly `YYYY-MM-DDTHH:MM:SSZ` naming a real instant; yields milliseconds since the epoch.
bool parseDate(std::string_view text, qint64 &result)
{
    text = trimmed(text);
    static constexpr std::string_view pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool ok = pattern[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == pattern[i];
        if (!ok)
            return false;
    }
    const auto number = [text](std::size_t at, std::size_t length) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + unsigned(text[i] - '0');
        return value;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return false;
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    static constexpr unsigned daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > daysInMonth[month - 1] + (month == 2 && leap ? 1 : 0))
        return false;
    const qint64 days = daysFromCivil(year, month, day);
    result = ((days * 24 + hour) * 60 + minute) * 60 * 1000 + qint64(second) * 1000;
    return true;
}

// Decodes padded base64 in place (the output never overtakes the input); whitespace may appear
// anywhere. Answers the decoded length, or nothing for invalid text.
std::optional<std::size_t> decodeBase64InPlace(char *text, std::size_t length)
{
    enum : std::uint8_t { Invalid = 0xff, Space = 0xfe, Pad = 0xfd };
    static const auto table = [] {
        std::array<std::uint8_t, 256> t{};
        t.fill(Invalid);
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::uint8_t i = 0; i < 64; ++i)
            t[std::uint8_t(alphabet[i])] = i;
        for (const char c : {' ', '\t', '\n', '\r'})
            t[std::uint8_t(c)] = Space;
        t[std::uint8_t('=')] = Pad;
        return t;
    }();

    std::size_t out = 0;
    std::uint32_t group = 0;
    int groupLength = 0;
    int padding = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t code = table[std::uint8_t(text[i])];
        if (code == Space)
            continue;
        if (code == Invalid)
            return std::nullopt;
        if (code == Pad) {
            // Padding only completes the last group of two or three symbols.
            if (groupLength + padding < 2)
                return std::nullopt;
            ++padding;
            if (groupLength + padding > 4)
                return std::nullopt;
            continue;
        }
        if (padding > 0)
            return std::nullopt;
        group = (group << 6) | code;
        if (++groupLength == 4) {
            text[out++] = char(group >> 16);
            text[out++] = char(group >> 8);
            text[out++] = char(group);
            group = 0;
            groupLength = 0;
        }
    }
    if (groupLength == 0 && padding == 0)
        return out;
    if (groupLength + padding != 4)
        return std::nullopt;
    if (groupLength == 2) {
        text[out++] = char(group >> 4);
    } else {
        text[out++] = char(group >> 10);
        text[out++] = char(group >> 2);
    }
    return out;
}

// Keys come from the file: with a fixed hash function a file could make every key land in one
// probe chain and interning quadratic. Qt's hash is seeded at random per process.
std::uint32_t hashKey(std::string_view key, std::size_t seed)
{
    const std::size_t hash = qHashBits(key.data(), key.size(), seed);
    return std::uint32_t(hash ^ (hash >> 32));
}

} // namespace

// Texts and data back to back. Appending is the hottest path of the reader, so it is a bare
// buffer: no zero-filling on growth and a single capacity test per append.
class TextArena
{
public:
    void reserve(std::size_t capacity)
    {
        if (capacity > m_capacity)
            reallocate(capacity);
    }

    void append(const char *bytes, std::size_t length)
    {
        if (length > m_capacity - m_size)
            reallocate(std::max(m_size + length, 2 * m_capacity));
        std::memcpy(m_bytes.get() + m_size, bytes, length);
        m_size += length;
    }

    void truncate(std::size_t size) { m_size = std::min(size, m_size); }
    [[nodiscard]] char *data() const { return m_bytes.get(); }
    [[nodiscard]] std::size_t size() const { return m_size; }

private:
    struct Free
    {
        void operator()(char *bytes) const { std::free(bytes); }
    };

    void reallocate(std::size_t capacity)
    {
        // Untouched capacity costs address space only, so reserving the input size is free.
        auto *bytes = static_cast<char *>(std::realloc(m_bytes.get(), std::max<std::size_t>(capacity, 1)));
        if (!bytes)
            throw std::bad_alloc();
        (void)m_bytes.release();
        m_bytes.reset(bytes);
        m_capacity = capacity;
    }

    std::unique_ptr<char, Free> m_bytes;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// Interned dictionary keys: each distinct key text once, found by an open-addressing table.
class KeyTable
{
public:
    [[nodiscard]] std::uint32_t count() const { return std::uint32_t(m_spans.size()); }

    [[nodiscard]] std::string_view text(KeyId id) const
    {
        const Span &span = m_spans[id];
        return {m_bytes.data() + span.offset, span.length};
    }

    [[nodiscard]] std::optional<KeyId> find(std::string_view key) const
    {
        if (m_slots.empty())
            return std::nullopt;
        const std::uint32_t hash = hashKey(key, m_seed);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot &slot = m_slots[i];
            if (slot.idPlusOne == 0)
                return std::nullopt;
            if (slot.hash == hash && text(slot.idPlusOne - 1) == key)
                return slot.idPlusOne - 1;
        }
    }

    KeyId intern(std::string_view key)
    {
        if (const auto id = find(key))
            return *id;
        if ((count() + 1) * 2 > m_slots.size())
            grow();
        const auto id = KeyId(m_spans.size());
        m_spans.push_back({m_bytes.size(), std::uint32_t(key.size())});
        m_bytes.insert(m_bytes.end(), key.begin(), key.end());
        insertSlot({hashKey(key, m_seed), id + 1});
        return id;
    }

private:
    struct Span
    {
        std::size_t offset;
        std::uint32_t length;
    };
    struct Slot
    {
        std::uint32_t hash;
        std::uint32_t idPlusOne;
    };

    void insertSlot(Slot slot)
    {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = slot.hash & mask;
        while (m_slots[i].idPlusOne != 0)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }

    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(std::max<std::size_t>(64, old.size() * 2), Slot{0, 0});
        for (const Slot &slot : old) {
            if (slot.idPlusOne != 0)
                insertSlot(slot);
        }
    }

    std::vector<char> m_bytes;
    std::vector<Span> m_spans;
    std::vector<Slot> m_slots;
    std::size_t m_seed = QHashSeed::globalSeed();
};

struct PropertyList::Document
{
    struct Node
    {
        Type type = Type::Boolean;
        // Children of a container, bytes of a text or data value.
        std::uint32_t size = 0;
        union {
            qint64 integer = 0;
            double real;
            qint64 milliseconds; // a date, since the epoch
            bool boolean;
            std::uint64_t offset; // into text, for texts and data
            std::uint32_t first; // index of the first child; children are contiguous
        };
    };
    static_assert(sizeof(Node) == 16);

    std::vector<Node> nodes;
    std::vector<KeyId> keys; // the key of each dictionary child, parallel to nodes
    TextArena text; // UTF-8 texts and decoded data
    KeyTable keyTable;
    std::uint32_t root = 0;
};

namespace {

using Node = PropertyList::Document::Node;

enum class Element : std::uint8_t { Plist, Dict, Array, Key, String, Integer, Real, Date, Data, True, False };

// Compares expat's NUL-terminated `name` with `expected` (terminator included) without reading
// past the end of `name`: each character is read only when all before it matched.
template<std::size_t N>
bool nameIs(const char *name, const char (&expected)[N])
{
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return ((name[I] == expected[I]) && ...);
    }(std::make_index_sequence<N>{});
}

std::optional<Element> elementNamed(const char *name)
{
    switch (name[0]) {
    case 'k':
        if (nameIs(name, "key"))
            return Element::Key;
        break;
    case 's':
        if (nameIs(name, "string"))
            return Element::String;
        break;
    case 'i':
        if (nameIs(name, "integer"))
            return Element::Integer;
        break;
    case 'd':
        if (nameIs(name, "date"))
            return Element::Date;
        if (nameIs(name, "dict"))
            return Element::Dict;
        if (nameIs(name, "data"))
            return Element::Data;
        break;
    case 't':
        if (nameIs(name, "true"))
            return Element::True;
        break;
    case 'f':
        if (nameIs(name, "false"))
            return Element::False;
        break;
    case 'a':
        if (nameIs(name, "array"))
            return Element::Array;
        break;
    case 'r':
        if (nameIs(name, "real"))
            return Element::Real;
        break;
    case 'p':
        if (nameIs(name, "plist"))
            return Element::Plist;
        break;
    default:
        break;
    }
    return std::nullopt;
}

QString tagOf(Element element)
{
    static constexpr std::string_view names[] = {"plist", "dict", "array", "key", "string", "integer",
                                                 "real", "date", "data", "true", "false"};
    const std::string_view name = names[std::size_t(element)];
    return u'<' + QString::fromLatin1(name.data(), qsizetype(name.size())) + u'>';
}

bool isContainer(Element element)
{
    return element == Element::Plist || element == Element::Dict || element == Element::Array;
}

bool collectsText(Element element)
{
    switch (element) {
    case Element::Key:
    case Element::String:
    case Element::Integer:
    case Element::Real:
    case Element::Date:
    case Element::Data:
        return true;
    default:
        return false;
    }
}

struct ParserDeleter
{
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// Builds the tree from expat's events. Children of an open container gather on a scratch stack
// and move to the node array, contiguous, when the container closes. Nothing recurses: open
// elements live on an explicit stack of bounded depth.
class Reader
{
public:
    explicit Reader(std::size_t inputSize)
        : m_document(std::make_shared<PropertyList::Document>())
    {
        // Reserving is free until touched, and sized so that neither array moves for UTF-8 input:
        // decoded texts and data never exceed their raw bytes.
        m_document->nodes.reserve(inputSize / kSmallestValueBytes + 1);
        m_document->keys.reserve(inputSize / kSmallestValueBytes + 1);
        m_document->text.reserve(inputSize);
    }

    std::shared_ptr<PropertyList::Document> read(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            throw PropertyListError(sentence(u"the file is empty"_s));

        std::unique_ptr<XML_ParserStruct, ParserDeleter> owner(XML_ParserCreate(nullptr));
        if (!owner)
            throw std::bad_alloc();
        m_parser = owner.get();
        XML_SetUserData(m_parser, this);
        XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetElementHandler(m_parser, &Reader::onStart, &Reader::onEnd);
        XML_SetCharacterDataHandler(m_parser, &Reader::onText);
        XML_SetEntityDeclHandler(m_parser, &Reader::onEntityDeclaration);
        XML_SetAttlistDeclHandler(m_parser, &Reader::onAttributeDeclaration);
        XML_SetSkippedEntityHandler(m_parser, &Reader::onSkippedEntity);

        const char *data = bytes.data();
        const auto size = std::size_t(bytes.size());
        std::size_t offset = 0;
        std::size_t chunk = kChunkSize;
        while (offset < size) {
            const std::size_t length = std::min(chunk, size - offset);
            if (XML_Parse(m_parser, data + offset, int(length), XML_FALSE) != XML_STATUS_OK)
                fail();
            offset += length;
            // expat rescans an unfinished token from its start on every call; letting the chunk
            // grow with such a token keeps a huge comment or attribute linear in time.
            const XML_Index parsed = XML_GetCurrentByteIndex(m_parser);
            const std::size_t pending = parsed >= 0 ? offset - std::size_t(parsed) : 0;
            chunk = std::clamp(2 * pending, kChunkSize, std::size_t(INT_MAX));
        }
        if (XML_Parse(m_parser, nullptr, 0, XML_TRUE) != XML_STATUS_OK)
            fail();
        Q_ASSERT(m_finished);
        return std::move(m_document);
    }

private:
    struct Frame
    {
        Element element = Element::Plist;
        KeyId pendingKey = kNoKey; // a dictionary's key still waiting for its value
        std::size_t start = 0; // first scratch child of a container; first text byte of a leaf
        KeyId lastKey = kNoKey; // a dictionary's latest key
    };

    static void XMLCALL onStart(void *self, const XML_Char *name, const XML_Char **)
    {
        static_cast<Reader *>(self)->guarded([&](Reader &r) { r.start(name); });
    }
    static void XMLCALL onEnd(void *self, const XML_Char *)
    {
        static_cast<Reader *>(self)->guarded([](Reader &r) { r.end(); });
    }
    static void XMLCALL onText(void *self, const XML_Char *text, int length)
    {
        static_cast<Reader *>(self)->guarded([&](Reader &r) { r.text(std::string_view(text, std::size_t(length))); });
    }
    static void XMLCALL onEntityDeclaration(void *self, const XML_Char *name, int, const XML_Char *, int,
                                            const XML_Char *, const XML_Char *, const XML_Char *,
                                            const XML_Char *)
    {
        static_cast<Reader *>(self)->guarded([&](Reader &r) {
            r.raise(u"the entity declaration \"%1\" is not allowed"_s.arg(shortened(name)));
        });
    }
    // expat copies declared default attributes into every start tag of their element: a few
    // thousand declarations would make each of a million elements cost thousands of steps.
    static void XMLCALL onAttributeDeclaration(void *self, const XML_Char *element, const XML_Char *,
                                               const XML_Char *, const XML_Char *, int)
    {
        static_cast<Reader *>(self)->guarded([&](Reader &r) {
            r.raise(u"the attribute declaration for <%1> is not allowed"_s.arg(shortened(element)));
        });
    }
    // Reached for a reference to an entity that an unread external DTD might declare.
    static void XMLCALL onSkippedEntity(void *self, const XML_Char *name, int)
    {
        static_cast<Reader *>(self)->guarded([&](Reader &r) {
            r.raise(u"the entity &%1; is not defined"_s.arg(shortened(name)));
        });
    }

    // Exceptions must not unwind through expat's C frames: keep the first one, stop the parser,
    // and rethrow it once XML_Parse has returned.
    template<typename Handler>
    void guarded(Handler handler)
    {
        if (m_error)
            return;
        try {
            handler(*this);
        } catch (...) {
            m_error = std::current_exception();
            XML_StopParser(m_parser, XML_FALSE);
        }
    }

    [[noreturn]] void fail()
    {
        if (m_error)
            std::rethrow_exception(m_error);
        raise(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(m_parser))));
    }

    static QString sentence(const QString &problem)
    {
        return u"The library file is not a valid property list: %1."_s.arg(problem);
    }

    [[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void raise(const QString &problem) const
    {
        const auto line = qulonglong(XML_GetCurrentLineNumber(m_parser));
        const auto column = qulonglong(XML_GetCurrentColumnNumber(m_parser)) + 1;
        throw PropertyListError(
            sentence(u"%1 at line %2, column %3"_s.arg(problem, QString::number(line), QString::number(column))));
    }

    void start(const char *name)
    {
        const std::optional<Element> element = elementNamed(name);
        if (m_depth == 0) {
            if (element != Element::Plist)
                raise(u"the root element is <%1>, not <plist>"_s.arg(shortened(name)));
            push({Element::Plist, kNoKey, m_scratch.size()});
            return;
        }
        Frame &parent = top();
        if (!element || *element == Element::Plist || !isContainer(parent.element))
            raiseUnexpectedElement(name, parent.element);
        if (*element == Element::Key) {
            if (parent.element != Element::Dict)
                raise(u"<key> outside a dictionary"_s);
            if (parent.pendingKey != kNoKey)
                raise(missingValue(parent.pendingKey));
            push({Element::Key, kNoKey, m_document->text.size()});
            return;
        }
        if (parent.element == Element::Dict && parent.pendingKey == kNoKey)
            raiseMissingKey(*element);
        if (parent.element == Element::Plist && m_scratch.size() > parent.start)
            raise(u"<plist> holds more than one value"_s);
        if (m_depth > kMaxDepth)
            raise(u"values are nested deeper than %1 levels"_s.arg(kMaxDepth));
        push({*element, kNoKey, isContainer(*element) ? m_scratch.size() : m_document->text.size()});
    }

    [[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void raiseUnexpectedElement(const char *name, Element parent) const
    {
        QString problem = u"unexpected element <%1>"_s.arg(shortened(name));
        if (!isContainer(parent))
            problem += u" inside "_s + tagOf(parent);
        raise(problem);
    }

    [[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void raiseMissingKey(Element element) const
    {
        raise(u"missing <key> before "_s + tagOf(element));
    }

    [[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void raiseUnexpectedText(std::string_view characters,
                                                                              Element parent) const
    {
        raise(u"unexpected text %1 inside %2"_s.arg(excerpt(trimmed(characters)), tagOf(parent)));
    }

    [[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void raiseInvalidValue(Element element, std::string_view content,
                                                                           IntegerParse integer) const
    {
        const QString text = excerpt(trimmed(content));
        switch (element) {
        case Element::Integer:
            raise(integer == IntegerParse::OutOfRange ? u"the integer %1 is outside the 64-bit range"_s.arg(text)
                                                       : u"the integer %1 is not a decimal number"_s.arg(text));
        case Element::Real:
            raise(u"the real %1 is not a number"_s.arg(text));
        case Element::Date:
            raise(u"the date %1 is not a valid YYYY-MM-DDTHH:MM:SSZ date"_s.arg(text));
        default:
            raise(u"the data is not valid base64"_s);
        }
    }

    Frame &top() { return m_frames[m_depth - 1]; }
    void push(const Frame &frame) { m_frames[m_depth++] = frame; }

    QString missingValue(KeyId key) const
    {
        return u"the key %1 has no value"_s.arg(excerpt(m_document->keyTable.text(key)));
    }

    void text(std::string_view characters)
    {
        const Frame &frame = top();
        if (collectsText(frame.element)) {
            m_document->text.append(characters.data(), characters.size());
            return;
        }
        if (!std::all_of(characters.begin(), characters.end(), [](char c) { return isXmlSpace(c); }))
            raiseUnexpectedText(characters, frame.element);
    }

    void end()
    {
        const Frame frame = top();
        --m_depth;
        TextArena &arena = m_document->text;
        const std::string_view content = collectsText(frame.element)
            ? std::string_view(arena.data() + frame.start, arena.size() - frame.start)
            : std::string_view();
        if (frame.element == Element::Key) {
            Frame &dictionary = top();
            dictionary.pendingKey = dictionary.lastKey = internKey(dictionary.lastKey, content);
            arena.truncate(frame.start);
            return;
        }
        Node node;
        switch (frame.element) {
        case Element::Plist:
            finishPlist(frame);
            return;
        case Element::Dict:
        case Element::Array:
            finishContainer(frame);
            return;
        case Element::String:
            node.type = Type::String;
            node.size = textSize(content.size());
            node.offset = frame.start;
            break;
        case Element::Integer:
            node.type = Type::Integer;
            if (const IntegerParse parsed = parseInteger(content, node.integer); parsed != IntegerParse::Ok)
                raiseInvalidValue(frame.element, content, parsed);
            arena.truncate(frame.start);
            break;
        case Element::Real:
            node.type = Type::Real;
            if (!parseReal(content, node.real))
                raiseInvalidValue(frame.element, content, IntegerParse::Ok);
            arena.truncate(frame.start);
            break;
        case Element::Date:
            node.type = Type::Date;
            if (!parseDate(content, node.milliseconds))
                raiseInvalidValue(frame.element, content, IntegerParse::Ok);
            arena.truncate(frame.start);
            break;
        case Element::Data: {
            const auto decoded = decodeBase64InPlace(arena.data() + frame.start, content.size());
            if (!decoded)
                raiseInvalidValue(frame.element, content, IntegerParse::Ok);
            node.type = Type::Data;
            node.size = textSize(*decoded);
            node.offset = frame.start;
            arena.truncate(frame.start + *decoded);
            break;
        }
        case Element::True:
        case Element::False:
            node.type = Type::Boolean;
            node.boolean = frame.element == Element::True;
            break;
        case Element::Key:
            break;
        }
        addValue(node);
    }

    // Dictionaries of one kind list their keys in much the same order, so the key that followed
    // `previous` last time is tried before the hash table.
    KeyId internKey(KeyId previous, std::string_view key)
    {
        const std::size_t slot = previous == kNoKey ? 0 : std::size_t(previous) + 1;
        KeyTable &keys = m_document->keyTable;
        if (slot < m_followingKey.size()) {
            const KeyId guess = m_followingKey[slot];
            if (guess != kNoKey && keys.text(guess) == key)
                return guess;
        }
        if (keys.count() >= kNoKey - 1)
            raise(u"the file uses more than 4 billion distinct keys"_s);
        const KeyId id = keys.intern(key);
        if (m_keyStamps.size() < keys.count()) {
            m_keyStamps.resize(keys.count(), 0);
            m_followingKey.resize(std::size_t(keys.count()) + 1, kNoKey);
        }
        m_followingKey[slot] = id;
        return id;
    }

    std::uint32_t textSize(std::size_t size) const
    {
        if (size > std::numeric_limits<std::uint32_t>::max())
            raise(u"a value is larger than 4 GB"_s);
        return std::uint32_t(size);
    }

    void addValue(const Node &node)
    {
        Frame &parent = top();
        m_scratch.push_back(node);
        m_scratchKeys.push_back(parent.pendingKey);
        parent.pendingKey = kNoKey;
    }

    void finishContainer(const Frame &frame)
    {
        if (frame.pendingKey != kNoKey)
            raise(missingValue(frame.pendingKey));
        const std::size_t end = m_scratch.size();
        bool repeated = false;
        if (frame.element == Element::Dict)
            repeated = markRepeatedKeys(frame.start, end);

        std::vector<Node> &nodes = m_document->nodes;
        std::vector<KeyId> &keys = m_document->keys;
        Node node;
        node.type = frame.element == Element::Dict ? Type::Dictionary : Type::Array;
        node.first = nodeIndex(nodes.size());
        if (repeated) {
            for (std::size_t i = frame.start; i < end; ++i) {
                if (m_scratchKeys[i] != kNoKey) {
                    nodes.push_back(m_scratch[i]);
                    keys.push_back(m_scratchKeys[i]);
                }
            }
        } else {
            nodes.insert(nodes.end(), m_scratch.begin() + std::ptrdiff_t(frame.start), m_scratch.end());
            keys.insert(keys.end(), m_scratchKeys.begin() + std::ptrdiff_t(frame.start), m_scratchKeys.end());
        }
        node.size = std::uint32_t(nodes.size() - node.first);
        m_scratch.resize(frame.start);
        m_scratchKeys.resize(frame.start);
        addValue(node);
    }

    // A repeated key keeps its last value: walking backwards, every earlier occurrence of a key
    // already seen loses its key and is dropped. One stamp per key id keeps this linear.
    bool markRepeatedKeys(std::size_t begin, std::size_t end)
    {
        if (++m_dictionaryStamp == 0) {
            std::fill(m_keyStamps.begin(), m_keyStamps.end(), 0);
            m_dictionaryStamp = 1;
        }
        bool repeated = false;
        for (std::size_t i = end; i-- > begin;) {
            std::uint32_t &stamp = m_keyStamps[m_scratchKeys[i]];
            if (stamp == m_dictionaryStamp) {
                m_scratchKeys[i] = kNoKey;
                repeated = true;
            } else {
                stamp = m_dictionaryStamp;
            }
        }
        return repeated;
    }

    void finishPlist(const Frame &frame)
    {
        if (m_scratch.size() == frame.start)
            raise(u"<plist> holds no value"_s);
        m_document->root = nodeIndex(m_document->nodes.size());
        m_document->nodes.push_back(m_scratch.back());
        m_document->keys.push_back(kNoKey);
        m_scratch.clear();
        m_scratchKeys.clear();
        m_finished = true;
    }

    std::uint32_t nodeIndex(std::size_t index) const
    {
        if (index >= std::numeric_limits<std::uint32_t>::max())
            raise(u"the file holds more than 4 billion values"_s);
        return std::uint32_t(index);
    }

    XML_Parser m_parser = nullptr;
    std::shared_ptr<PropertyList::Document> m_document;
    // Open elements: the plist, up to kMaxDepth values, and a key.
    std::array<Frame, kMaxDepth + 2> m_frames;
    std::size_t m_depth = 0;
    std::vector<Node> m_scratch;
    std::vector<KeyId> m_scratchKeys;
    std::vector<std::uint32_t> m_keyStamps;
    std::vector<KeyId> m_followingKey; // by preceding key id + 1; slot 0 for a dictionary's first key
    std::uint32_t m_dictionaryStamp = 0;
    std::exception_ptr m_error;
    bool m_finished = false;
};

} // namespace

PropertyList::PropertyList(std::shared_ptr<const Document> document)
    : m_document(std::move(document))
{
}

PropertyList PropertyList::parse(QByteArrayView bytes)
{
    return PropertyList(Reader(std::size_t(bytes.size())).read(bytes));
}

PropertyList::Value PropertyList::root() const
{
    return Value(m_document.get(), m_document->root);
}

std::optional<PropertyList::KeyId> PropertyList::keyId(QStringView key) const
{
    const QByteArray utf8 = key.toUtf8();
    return m_document->keyTable.find(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

QString PropertyList::keyText(KeyId id) const
{
    Q_ASSERT(id < keyCount());
    const std::string_view text = m_document->keyTable.text(id);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::uint32_t PropertyList::keyCount() const
{
    return m_document->keyTable.count();
}

PropertyList::Type PropertyList::Value::type() const
{
    return m_document->nodes[m_node].type;
}

std::optional<QString> PropertyList::Value::toString() const
{
    const auto utf8 = toUtf8();
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

std::optional<QByteArrayView> PropertyList::Value::toUtf8() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::String)
        return std::nullopt;
    return QByteArrayView(m_document->text.data() + node.offset, qsizetype(node.size));
}

std::optional<qint64> PropertyList::Value::toInteger() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Integer)
        return std::nullopt;
    return node.integer;
}

std::optional<double> PropertyList::Value::toReal() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Real)
        return std::nullopt;
    return node.real;
}

std::optional<bool> PropertyList::Value::toBoolean() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Boolean)
        return std::nullopt;
    return node.boolean;
}

std::optional<QDateTime> PropertyList::Value::toDate() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Date)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(node.milliseconds, Qt::UTC);
}

std::optional<QByteArray> PropertyList::Value::toData() const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Data)
        return std::nullopt;
    return QByteArray(m_document->text.data() + node.offset, qsizetype(node.size));
}

std::size_t PropertyList::Value::size() const
{
    const Document::Node &node = m_document->nodes[m_node];
    return node.type == Type::Dictionary || node.type == Type::Array ? node.size : 0;
}

PropertyList::Value PropertyList::Value::at(std::size_t index) const
{
    Q_ASSERT(isArray() && index < size());
    return Value(m_document, m_document->nodes[m_node].first + std::uint32_t(index));
}

PropertyList::Entry PropertyList::Value::entryAt(std::size_t index) const
{
    Q_ASSERT(isDictionary() && index < size());
    return Entry(Value(m_document, m_document->nodes[m_node].first + std::uint32_t(index)));
}

std::optional<PropertyList::Value> PropertyList::Value::value(QStringView key) const
{
    if (!isDictionary())
        return std::nullopt;
    const QByteArray utf8 = key.toUtf8();
    const auto id = m_document->keyTable.find(std::string_view(utf8.constData(), std::size_t(utf8.size())));
    if (!id)
        return std::nullopt;
    return value(*id);
}

std::optional<PropertyList::Value> PropertyList::Value::value(KeyId key) const
{
    const Document::Node &node = m_document->nodes[m_node];
    if (node.type != Type::Dictionary)
        return std::nullopt;
    const KeyId *keys = m_document->keys.data() + node.first;
    const KeyId *found = std::find(keys, keys + node.size, key);
    if (found == keys + node.size)
        return std::nullopt;
    return Value(m_document, node.first + std::uint32_t(found - keys));
}

PropertyList::KeyId PropertyList::Entry::keyId() const
{
    return m_value.m_document->keys[m_value.m_node];
}

QString PropertyList::Entry::key() const
{
    const std::string_view text = m_value.m_document->keyTable.text(keyId());
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace quaverly
