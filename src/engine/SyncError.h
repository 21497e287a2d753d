#pragma once

#include "platform/Error.h"

namespace quaverly {

/// A sync that must not start or a media folder that cannot be used, in one sentence that says
/// what to do about it.
class SyncError : public Error
{
public:
    using Error::Error;
};

} // namespace quaverly
