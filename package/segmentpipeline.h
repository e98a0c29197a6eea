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
/// thread. With workers the caller only reads and writes, so that the
/// workers always find the next segment queued; without them it compresses
/// each segment when given. At most MaxInFlight segments are held at any
/// time, the one the caller is filling among them, whatever the number of
/// threads: that bounds the memory a save uses (a segment is about
/// SegmentSize bytes before and a fraction of it after compression), and so
/// the number of workers, one fewer than that.
class SegmentPipeline {
public:
    static constexpr int MaxInFlight = 3;

    using Output = std::function<void(const zlibsegments::Segment &segment)>;

    /// `threads` compressing threads (1 or less: no workers, each segment is
    /// compressed when given). The workers start with the first segment to
    /// compress.
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
    /// An empty buffer with room for SegmentSize bytes, one that a
    /// compressed segment no longer needs when there is one: buffers are
    /// reused, not allocated for every segment.
    QByteArray spareBuffer();

private:
    struct Slot;

    void startWorkers();
    void work();
    zlibsegments::Segment compressed(zlibsegments::Compressor &compressor, QByteArray &plain);
    void queue(std::shared_ptr<Slot> slot);
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
    std::vector<QByteArray> m_spareBuffers;
    std::unique_ptr<zlibsegments::Compressor> m_compressor; // the caller's, without workers
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
