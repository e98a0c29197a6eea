// Worker threads that compress segments; the caller's thread writes them.
#include "package/segmentpipeline.h"

#include "package/hexception.h"
#include "package/packagemessages.h"

#include <algorithm>

struct SegmentPipeline::Slot {
    QByteArray plain; // back among the spare buffers once compressed
    zlibsegments::Segment segment;
    bool done = false;
    QByteArray failure; // the message of a failed compression
};

SegmentPipeline::SegmentPipeline(int level, int threads, Output output)
    : m_level(level), m_workerCount(threads <= 1 ? 0 : std::min(threads, MaxInFlight - 1)),
      m_output(std::move(output))
{
}

SegmentPipeline::~SegmentPipeline()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_workAvailable.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

void SegmentPipeline::compress(QByteArray plain)
{
    auto slot = std::make_shared<Slot>();
    if (m_workerCount == 0) {
        if (!m_compressor)
            m_compressor = std::make_unique<zlibsegments::Compressor>(m_level);
        slot->segment = compressed(*m_compressor, plain);
        slot->done = true;
        queue(std::move(slot));
        return;
    }
    if (m_workers.empty())
        startWorkers();
    slot->plain = std::move(plain);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting.push_back(slot);
    }
    m_workAvailable.notify_one();
    queue(std::move(slot));
}

zlibsegments::Segment SegmentPipeline::compressed(zlibsegments::Compressor &compressor, QByteArray &plain)
{
    zlibsegments::Segment segment = compressor.compress(plain);
    plain.resize(0); // keeps the room reserve() made
    std::lock_guard<std::mutex> lock(m_mutex);
    m_spareBuffers.push_back(std::move(plain));
    return segment;
}

QByteArray SegmentPipeline::spareBuffer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_spareBuffers.empty()) {
            QByteArray buffer = std::move(m_spareBuffers.back());
            m_spareBuffers.pop_back();
            return buffer;
        }
    }
    QByteArray buffer;
    buffer.reserve(int(zlibsegments::SegmentSize));
    return buffer;
}

void SegmentPipeline::add(zlibsegments::Segment segment)
{
    auto slot = std::make_shared<Slot>();
    slot->segment = std::move(segment);
    slot->done = true;
    queue(std::move(slot));
}

void SegmentPipeline::queue(std::shared_ptr<Slot> slot)
{
    m_slots.push_back(std::move(slot));
    while (m_slots.size() >= size_t(MaxInFlight))
        handOutOldest();
    // What is done goes out at once: held output is memory.
    while (!m_slots.empty() && oldestDone())
        handOutOldest();
}

bool SegmentPipeline::oldestDone()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_slots.front()->done;
}

void SegmentPipeline::drain()
{
    while (!m_slots.empty())
        handOutOldest();
}

void SegmentPipeline::handOutOldest()
{
    std::shared_ptr<Slot> slot = m_slots.front();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_slotDone.wait(lock, [&slot] { return slot->done; });
    }
    m_slots.pop_front();
    if (!slot->failure.isEmpty())
        throw HException(slot->failure);
    m_output(slot->segment);
}

void SegmentPipeline::startWorkers()
{
    for (int i = 0; i < m_workerCount; ++i)
        m_workers.emplace_back([this] { work(); });
}

void SegmentPipeline::work()
{
    std::unique_ptr<zlibsegments::Compressor> compressor;
    for (;;) {
        std::shared_ptr<Slot> slot;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_workAvailable.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
            if (m_stopping)
                return;
            slot = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        zlibsegments::Segment segment;
        QByteArray failure;
        try {
            if (!compressor)
                compressor = std::make_unique<zlibsegments::Compressor>(m_level);
            segment = compressed(*compressor, slot->plain);
        } catch (const HException &error) {
            failure = error.message();
        } catch (...) {
            failure = packagemessage::kCompressing;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            slot->segment = std::move(segment);
            slot->failure = failure;
            slot->done = true;
        }
        m_slotDone.notify_all();
    }
}
