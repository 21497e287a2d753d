#pragma once

#include "platform/WorkerPool.h"

#include <QThreadPool>

#include <utility>

namespace quaverly {

/// Drops `value` on a thread of the worker pool instead of the caller's. A library or plan of
/// 100,000 tracks may hold the last reference to as many strings, and freeing them takes a tenth
/// of a second: too long for the main thread, which has to keep the window turning.
///
///     releaseInBackground(std::exchange(m_library, {}));
///
/// `value` must be safe to destroy on another thread (implicitly shared values are). It may still
/// be pending when the caller returns, but is gone once the pool is done.
template<typename T>
void releaseInBackground(T value)
{
    workerPool().start([held = std::move(value)]() mutable { T released = std::move(held); });
}

} // namespace quaverly
