#pragma once

class QThreadPool;

namespace quaverly {

/// The threads our own long work runs on: scans, plans, runs and values let go in the
/// background. Never Qt's global pool, whose threads Qt's own painting and image code waits for
/// on the main thread: a scan holding them would freeze the window for as long as it reads.
/// Safe to call from any thread.
[[nodiscard]] QThreadPool &workerPool();

} // namespace quaverly
