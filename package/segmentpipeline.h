// Compressing the segments of a zlib body on worker threads while the caller
// goes on reading members, and handing them back in the order given.
#pragma once

#include "package/zlibsegments.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

/// The caller gives segments in body order, to compress or already
/// compressed; `output` receives each one in that order, on the caller's
/// thread. The caller's thread compresses too, when every worker is busy.
/// At most MaxInFlight segments are held at any time whatever the number of
/// threads: that bounds the memory a save uses (a segment is about
/// SegmentSize bytes before and a fraction of it after compression), and
/// so the threads that can work at once.
class SegmentPipeline {
public:
    static constexpr int MaxInFlight = 2;

    using Output = std::function<void(const zlibsegments::Segment &segment)>;

    /// `threads` compressing threads, the caller's among them (1 or less:
    /// no workers, each segment is compressed when given). The workers
    /// start with the first segment to compress.
    SegmentPipeline(int level, int threads, Output output);
    /// Stops the workers; segments not yet handed out are dropped.
    ~SegmentPipeline();

    SegmentPipeline(const SegmentPipeline &) = delete;
    SegmentPipeline &operator=(const SegmentPipeline &) = delete;

    /// Queues `plain` for compression. May first hand out earlier segments;
    /// throws the failure of compressing or of `output` (HException).
    void compress(QByteArray plain);
    /// Queues a segment that is already compressed, with the same throws.
    void add(zlibsegments::Segment segment);
    /// Hands out every queued segment.
    void drain();

private:
    struct Slot;

    void startWorkers();
    void work();
    void queue(std::shared_ptr<Slot> slot);
    /// Whether a worker is free to take a segment.
    bool workerFree();
    /// Waits for the oldest segment and hands it to the output.
    void handOutOldest();
    bool oldestDone();

    const int m_level;
    const int m_workerCount;
    Output m_output;
    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_slotDone;
    std::deque<std::shared_ptr<Slot>> m_slots;   // in body order
    std::deque<std::shared_ptr<Slot>> m_waiting; // not yet taken by a worker
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
