#pragma once

#include "platform/PropertyList.h"

#include <QByteArrayView>

#include <memory>

namespace quaverly::internal {

/// The document of the XML property list `bytes`. Throws PropertyListError, worded with the line
/// and column, for anything that is not one.
[[nodiscard]] std::shared_ptr<PropertyList::Document> readPropertyList(QByteArrayView bytes);

} // namespace quaverly::internal
