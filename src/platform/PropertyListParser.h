#pragma once

#include "platform/PropertyList.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace quaverly {

/// Reads an XML property list fed in pieces, as they come from a file, with the checks of
/// PropertyList::parse(). It can hand the elements of chosen containers of the root dictionary
/// over in slices while it reads, instead of keeping them, so that whoever reads a large file
/// holds one slice at a time:
///
///   PropertyListParser parser({"Tracks"}, [&](PropertyListParser::Slice slice) { use(slice); });
///   parser.feed(chunk);  // as often as there are chunks
///   const PropertyList rest = parser.finish();  // "Tracks" is an empty dictionary in it
///
/// Not thread-safe; the sink runs on the feeding thread, inside feed() and finish().
class PropertyListParser
{
public:
    struct Slice
    {
        /// Which of the streamed keys names the container.
        std::size_t container = 0;
        /// The next elements in document order, as the root of a document of their own: a
        /// dictionary (keyed as in the container) or an array, as the container is.
        PropertyList elements;
        /// The container ends with this slice, which may hold no elements.
        bool last = false;
    };
    using SliceSink = std::function<void(Slice)>;

    /// Keeps every value in the tree. `sizeHint`, the expected input size, lets the tree be
    /// reserved at once.
    explicit PropertyListParser(std::size_t sizeHint = 0);
    /// Hands over the elements of each array or dictionary that a key of `streamedKeys` (UTF-8)
    /// names in the root dictionary.
    PropertyListParser(std::vector<QByteArray> streamedKeys, SliceSink sink);
    ~PropertyListParser();
    PropertyListParser(const PropertyListParser &) = delete;
    PropertyListParser &operator=(const PropertyListParser &) = delete;

    /// Throws PropertyListError as soon as the input is no property list, and whatever the sink
    /// throws; the parser is then unusable.
    void feed(QByteArrayView bytes);
    /// The tree, once all input is fed. Throws PropertyListError for incomplete input.
    [[nodiscard]] PropertyList finish();
    /// Whether a streamed key occurred twice in the root dictionary, or a key twice in a streamed
    /// dictionary. The tree's rule keeps only the last value of a repeated key, which slices
    /// already handed over cannot follow; whoever needs that rule must read the file again.
    [[nodiscard]] bool slicesMissRepeatedKeys() const;

private:
    class Reader;
    std::unique_ptr<Reader> m_reader;
};

} // namespace quaverly
