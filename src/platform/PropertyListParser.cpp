#include "platform/PropertyListParser.h"

#include "platform/PropertyListScalars.h"
#include "platform/internal/KeyTable.h"
#include "platform/internal/PropertyListDocument.h"

#include <expat.h>

#include <QSet>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <climits>
#include <exception>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

using namespace Qt::StringLiterals;

namespace quaverly {

namespace {

using internal::KeyTable;
using internal::TextArena;

using KeyId = PropertyList::KeyId;
using Type = PropertyList::Type;
using Node = PropertyList::Document::Node;
using plist::ScalarError;
using plist::trimmed;

// Deeper files are refused: a hostile file must not be able to exhaust memory or time
// through nesting, and real libraries nest five levels at most.
constexpr std::size_t kMaxDepth = 512;
// expat copies each fed chunk into its own buffer; feeding in chunks keeps that buffer small.
constexpr std::size_t kChunkSize = std::size_t(1) << 20;
constexpr KeyId kNoKey = std::numeric_limits<KeyId>::max();
// The smallest value element, `<true/>`, takes seven bytes, which bounds the node count.
constexpr std::size_t kSmallestValueBytes = 7;
// A slice is handed over once it holds about this many bytes of nodes and texts.
constexpr std::size_t kSliceBytes = std::size_t(1) << 20;

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

} // namespace

// Builds the tree from expat's events. Children of an open container gather on a scratch stack
// and move to the node array, contiguous, when the container closes. Nothing recurses: open
// elements live on an explicit stack of bounded depth.
//
// A streamed container's elements go to a slice document instead of the tree, and the slice
// is handed over, and a new one begun, between two elements, when no open element refers to it.
class PropertyListParser::Reader
{
public:
    Reader(std::size_t sizeHint, std::vector<QByteArray> streamedKeys, SliceSink sink)
        : m_document(std::make_shared<PropertyList::Document>())
        , m_streamedKeys(std::move(streamedKeys))
        , m_sink(std::move(sink))
    {
        // Reserving is free until touched, and sized so that neither array moves for UTF-8 input:
        // decoded texts and data never exceed their raw bytes.
        m_document->nodes.reserve(sizeHint / kSmallestValueBytes + 1);
        m_document->keys.reserve(sizeHint / kSmallestValueBytes + 1);
        m_document->text.reserve(sizeHint);

        m_owner.reset(XML_ParserCreate(nullptr));
        if (!m_owner)
            throw std::bad_alloc();
        m_parser = m_owner.get();
        XML_SetUserData(m_parser, this);
        XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
        XML_SetElementHandler(m_parser, &Reader::onStart, &Reader::onEnd);
        XML_SetCharacterDataHandler(m_parser, &Reader::onText);
        XML_SetEntityDeclHandler(m_parser, &Reader::onEntityDeclaration);
        XML_SetAttlistDeclHandler(m_parser, &Reader::onAttributeDeclaration);
        XML_SetSkippedEntityHandler(m_parser, &Reader::onSkippedEntity);
    }

    void feed(const char *data, std::size_t size)
    {
        m_fedAny = m_fedAny || size > 0;
        while (size > 0) {
            if (m_held.isEmpty() && (size >= m_wanted || m_wanted == kChunkSize)) {
                const std::size_t length = std::min(size, m_wanted);
                parseChunk(data, length);
                data += length;
                size -= length;
                continue;
            }
            // Behind a long unfinished token: gather input until the chunk may be parsed.
            const std::size_t length = std::min(size, m_wanted - std::size_t(m_held.size()));
            m_held.append(data, qsizetype(length));
            data += length;
            size -= length;
            if (std::size_t(m_held.size()) == m_wanted) {
                parseChunk(m_held.constData(), m_wanted);
                m_held.clear();
            }
        }
    }

    std::shared_ptr<PropertyList::Document> finish()
    {
        if (!m_fedAny)
            throw PropertyListError(sentence(u"the file is empty"_s));
        if (!m_held.isEmpty())
            parseChunk(m_held.constData(), std::size_t(m_held.size()));
        m_held.clear();
        if (XML_Parse(m_parser, nullptr, 0, XML_TRUE) != XML_STATUS_OK)
            fail();
        Q_ASSERT(m_finished);
        m_document->keyTable = std::move(m_keys);
        return std::move(m_document);
    }

    [[nodiscard]] bool slicesMissRepeatedKeys() const { return m_slicesMissRepeatedKeys; }

private:
    struct Frame
    {
        Element element = Element::Plist;
        KeyId pendingKey = kNoKey; // a dictionary's key still waiting for its value
        std::size_t start = 0; // first scratch child of a container; first text byte of a leaf
        KeyId lastKey = kNoKey; // a dictionary's latest key
        bool streamed = false; // a container whose elements go out in slices
    };

    static constexpr std::size_t kNoStream = std::numeric_limits<std::size_t>::max();

    void parseChunk(const char *data, std::size_t length)
    {
        if (XML_Parse(m_parser, data, int(length), XML_FALSE) != XML_STATUS_OK)
            fail();
        m_fed += length;
        // expat rescans an unfinished token from its start on every call; letting the chunk
        // grow with such a token keeps a huge comment or attribute linear in time.
        const XML_Index parsed = XML_GetCurrentByteIndex(m_parser);
        const std::size_t pending = parsed >= 0 ? m_fed - std::size_t(parsed) : 0;
        m_wanted = std::clamp(2 * pending, kChunkSize, std::size_t(INT_MAX));
    }

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
        if (m_depth == 2 && m_pendingStream != kNoStream && isContainer(*element)) {
            beginStream(*element);
            return;
        }
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

    [[noreturn]] Q_NEVER_INLINE Q_DECL_COLD_FUNCTION void raiseInvalidValue(ScalarError error,
                                                                           std::string_view content) const
    {
        const QString text = excerpt(trimmed(content));
        switch (error) {
        case ScalarError::notDecimal:
            raise(u"the integer %1 is not a decimal number"_s.arg(text));
        case ScalarError::outOfRange:
            raise(u"the integer %1 is outside the 64-bit range"_s.arg(text));
        case ScalarError::notANumber:
            raise(u"the real %1 is not a number"_s.arg(text));
        case ScalarError::notADate:
            raise(u"the date %1 is not a valid YYYY-MM-DDTHH:MM:SSZ date"_s.arg(text));
        case ScalarError::notBase64:
            raise(u"the data is not valid base64"_s);
        }
        Q_UNREACHABLE();
    }

    template<typename T>
    T valueOf(const plist::Parsed<T> &parsed, std::string_view content) const
    {
        if (parsed.error)
            raiseInvalidValue(*parsed.error, content);
        return parsed.value;
    }

    Frame &top() { return m_frames[m_depth - 1]; }
    void push(const Frame &frame) { m_frames[m_depth++] = frame; }

    QString missingValue(KeyId key) const
    {
        return u"the key %1 has no value"_s.arg(excerpt(m_keys.text(key)));
    }

    void text(std::string_view characters)
    {
        const Frame &frame = top();
        if (collectsText(frame.element)) {
            m_document->text.append(characters.data(), characters.size());
            return;
        }
        if (!std::all_of(characters.begin(), characters.end(), [](char c) { return plist::isXmlSpace(c); }))
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
            dictionary.pendingKey = dictionary.lastKey =
                dictionary.streamed ? internStreamedKey(content) : internKey(dictionary.lastKey, content);
            arena.truncate(frame.start);
            if (m_depth == 2 && !m_streamedKeys.empty())
                noteRootKey(dictionary.pendingKey);
            return;
        }
        Node node;
        switch (frame.element) {
        case Element::Plist:
            finishPlist(frame);
            return;
        case Element::Dict:
        case Element::Array:
            if (frame.streamed)
                endStream(frame);
            else
                finishContainer(frame);
            if (m_depth == 3 && top().streamed && sliceBytes() >= kSliceBytes)
                handOver(top(), false);
            return;
        case Element::String:
            node.type = Type::String;
            node.size = textSize(content.size());
            node.offset = frame.start;
            break;
        case Element::Integer:
            node.type = Type::Integer;
            node.integer = valueOf(plist::parseInteger(content), content);
            arena.truncate(frame.start);
            break;
        case Element::Real:
            node.type = Type::Real;
            node.real = valueOf(plist::parseReal(content), content);
            arena.truncate(frame.start);
            break;
        case Element::Date:
            node.type = Type::Date;
            node.milliseconds = valueOf(plist::parseDate(content), content);
            arena.truncate(frame.start);
            break;
        case Element::Data: {
            const std::size_t decoded =
                valueOf(plist::decodeBase64InPlace(arena.data() + frame.start, content.size()), content);
            node.type = Type::Data;
            node.size = textSize(decoded);
            node.offset = frame.start;
            arena.truncate(frame.start + decoded);
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
        if (m_depth == 3 && top().streamed && sliceBytes() >= kSliceBytes)
            handOver(top(), false);
    }

    // Dictionaries of one kind list their keys in much the same order, so the two keys that
    // followed `previous` lately are tried before the hash table: two, because optional keys
    // (a track's "Release Date", say) make the order alternate.
    KeyId internKey(KeyId previous, std::string_view key)
    {
        const std::size_t slot = previous == kNoKey ? 0 : std::size_t(previous) + 1;
        KeyTable &keys = m_keys;
        if (slot < m_followingKeys.size()) {
            for (const KeyId guess : m_followingKeys[slot]) {
                if (guess != kNoKey && keys.text(guess) == key)
                    return guess;
            }
        }
        if (keys.count() >= kNoKey - 1)
            raise(u"the file uses more than 4 billion distinct keys"_s);
        const KeyId id = keys.intern(key);
        if (m_keyStamps.size() < keys.count()) {
            m_keyStamps.resize(keys.count(), 0);
            m_followingKeys.resize(std::size_t(keys.count()) + 1, {kNoKey, kNoKey});
            if (!m_streamedKeys.empty())
                m_localKeys.resize(keys.count(), {0, 0});
        }
        m_followingKeys[slot] = {id, m_followingKeys[slot][0]};
        return id;
    }

    // The keys of a streamed dictionary name one element each (a track's ID, say): interning
    // them in the document's table would grow it by a key per element. They go to the slice's
    // own table instead, and a set of their hashes tells whether any key comes again; a false
    // alarm, two keys of one 64-bit hash, only makes the caller read the file once more.
    KeyId internStreamedKey(std::string_view key)
    {
        const std::size_t hash = KeyTable::hashOf(key);
        const qsizetype before = m_streamedKeyHashes.size();
        m_streamedKeyHashes.insert(hash);
        if (m_streamedKeyHashes.size() == before)
            m_slicesMissRepeatedKeys = true;
        KeyTable &keys = m_document->keyTable;
        if (keys.count() >= kNoKey - 1)
            raise(u"the file uses more than 4 billion distinct keys"_s);
        return keys.intern(key, hash);
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
        addValue(containerNode(frame));
    }

    // Moves the container's children from the scratch stack into the document.
    Node containerNode(const Frame &frame)
    {
        if (frame.pendingKey != kNoKey)
            raise(missingValue(frame.pendingKey));
        const std::size_t end = m_scratch.size();
        bool repeated = false;
        // A streamed dictionary's keys are the slice's own and counted apart.
        if (frame.element == Element::Dict && !frame.streamed)
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
        return node;
    }

    // A streamed key named twice in the root dictionary: only its last value counts, and the
    // slices of an earlier one may be out already.
    void noteRootKey(KeyId key)
    {
        m_pendingStream = kNoStream;
        const std::string_view text = m_keys.text(key);
        for (std::size_t i = 0; i < m_streamedKeys.size(); ++i) {
            if (std::string_view(m_streamedKeys[i].constData(), std::size_t(m_streamedKeys[i].size())) != text)
                continue;
            if (std::find(m_streamedRootKeys.begin(), m_streamedRootKeys.end(), key) != m_streamedRootKeys.end())
                m_slicesMissRepeatedKeys = true;
            m_streamedRootKeys.push_back(key);
            m_pendingStream = i;
        }
    }

    void beginStream(Element element)
    {
        m_stream = m_pendingStream;
        m_pendingStream = kNoStream;
        m_streamedKeyHashes.clear();
        m_tree = std::exchange(m_document, std::make_shared<PropertyList::Document>());
        push({element, kNoKey, m_scratch.size(), kNoKey, true});
    }

    // The tree keeps the container, empty.
    void endStream(const Frame &frame)
    {
        handOver(frame, true);
        m_document = std::move(m_tree);
        Node node;
        node.type = frame.element == Element::Dict ? Type::Dictionary : Type::Array;
        node.first = nodeIndex(m_document->nodes.size());
        addValue(node);
        m_stream = kNoStream;
    }

    [[nodiscard]] std::size_t sliceBytes() const
    {
        return m_document->nodes.size() * sizeof(Node) + m_document->text.size();
    }

    // Makes the slice a document of its own: the gathered elements under a root of the
    // container's kind, and a key table of just the keys it uses.
    void handOver(const Frame &frame, bool last)
    {
        PropertyList::Document &slice = *m_document;
        const Node root = containerNode(frame);
        slice.root = nodeIndex(slice.nodes.size());
        slice.nodes.push_back(root);
        slice.keys.push_back(kNoKey);
        if (++m_sliceStamp == 0) {
            std::fill(m_localKeys.begin(), m_localKeys.end(), LocalKey{0, 0});
            m_sliceStamp = 1;
        }
        const auto ownKeys = std::size_t(root.first);
        for (std::size_t i = 0; i < slice.keys.size(); ++i) {
            KeyId &key = slice.keys[i];
            if (key == kNoKey || (i >= ownKeys && i < ownKeys + root.size))
                continue;
            LocalKey &local = m_localKeys[key];
            if (local.stamp != m_sliceStamp)
                local = {m_sliceStamp, slice.keyTable.intern(m_keys.text(key))};
            key = local.id;
        }
        auto next = std::make_shared<PropertyList::Document>();
        next->nodes.reserve(slice.nodes.capacity());
        next->keys.reserve(slice.keys.capacity());
        next->text.reserve(slice.text.size());
        m_sink(Slice{m_stream, PropertyList(std::exchange(m_document, std::move(next))), last});
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

    struct LocalKey
    {
        std::uint32_t stamp;
        KeyId id;
    };

    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_owner;
    XML_Parser m_parser = nullptr;
    std::size_t m_fed = 0;
    std::size_t m_wanted = kChunkSize;
    QByteArray m_held; // input waiting behind a long unfinished token
    bool m_fedAny = false;
    std::shared_ptr<PropertyList::Document> m_document; // the tree, or the slice being gathered
    std::shared_ptr<PropertyList::Document> m_tree; // the tree while a slice is gathered
    KeyTable m_keys;
    // Open elements: the plist, up to kMaxDepth values, and a key.
    std::array<Frame, kMaxDepth + 2> m_frames;
    std::size_t m_depth = 0;
    std::vector<Node> m_scratch;
    std::vector<KeyId> m_scratchKeys;
    std::vector<std::uint32_t> m_keyStamps;
    // By preceding key id + 1; slot 0 for a dictionary's first key.
    std::vector<std::array<KeyId, 2>> m_followingKeys;
    std::uint32_t m_dictionaryStamp = 0;
    std::exception_ptr m_error;
    bool m_finished = false;

    std::vector<QByteArray> m_streamedKeys;
    SliceSink m_sink;
    std::vector<KeyId> m_streamedRootKeys;
    std::size_t m_pendingStream = kNoStream; // the streamed key waiting for its value in the root
    std::size_t m_stream = kNoStream; // the streamed key whose container is open
    QSet<std::size_t> m_streamedKeyHashes; // of the open streamed dictionary
    std::vector<LocalKey> m_localKeys; // by key id: its id in the slice being handed over
    std::uint32_t m_sliceStamp = 0;
    bool m_slicesMissRepeatedKeys = false;
};

PropertyListParser::PropertyListParser(std::size_t sizeHint)
    : m_reader(std::make_unique<Reader>(sizeHint, std::vector<QByteArray>(), SliceSink()))
{
}

PropertyListParser::PropertyListParser(std::vector<QByteArray> streamedKeys, SliceSink sink)
    : m_reader(std::make_unique<Reader>(0, std::move(streamedKeys), std::move(sink)))
{
}

PropertyListParser::~PropertyListParser() = default;

void PropertyListParser::feed(QByteArrayView bytes)
{
    m_reader->feed(bytes.data(), std::size_t(bytes.size()));
}

PropertyList PropertyListParser::finish()
{
    return PropertyList(m_reader->finish());
}

bool PropertyListParser::slicesMissRepeatedKeys() const
{
    return m_reader->slicesMissRepeatedKeys();
}

} // namespace quaverly
