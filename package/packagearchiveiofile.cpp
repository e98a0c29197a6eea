// The byte streams under the archive: a plain one on a FILE, and zlib and
// bzip2 decompressing and compressing ones.
#include "package/packagearchiveiofile.h"

#include "package/hexception.h"
#include "package/packagemessages.h"

#include "package/segmentpipeline.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int BufferSize = 16384;

/// Whether decoding may go on after an isal_inflate result. Positive results
/// are no success: ISAL_END_INPUT only asks for more input (the refill decides
/// whether the file has it); ISAL_NEED_DICT cannot pass the header check and
/// is refused should it come; the overflow results belong to the one-shot and
/// gzip-header calls. Every negative result is damaged data or checksum.
bool inflateGoesOn(int result)
{
    switch (result) {
    case ISAL_DECOMP_OK:
    case ISAL_END_INPUT:
        return true;
    case ISAL_NEED_DICT:
    case ISAL_OUT_OVERFLOW:
    case ISAL_NAME_OVERFLOW:
    case ISAL_COMMENT_OVERFLOW:
    case ISAL_EXTRA_OVERFLOW:
    default:
        return false;
    }
}

} // namespace

StreamCheckpoint::~StreamCheckpoint() = default;

PackageArchiveIOFileInterface::~PackageArchiveIOFileInterface() = default;

std::unique_ptr<StreamCheckpoint> PackageArchiveIOFileInterface::checkpoint()
{
    return nullptr;
}

void PackageArchiveIOFileInterface::restore(const StreamCheckpoint &) {}

void PackageArchiveIOFileInterface::beginRegion(quint64, bool) {}

bool PackageArchiveIOFileInterface::appendsSegments() const
{
    return false;
}

void PackageArchiveIOFileInterface::appendSegment(zlibsegments::Segment)
{
    throw HException(packagemessage::kCompressing);
}

namespace {

struct FilePositionCheckpoint : StreamCheckpoint {
    off_t offset;
};

/// Everything the zlib input needs to come back: its decoder, the input it
/// had buffered, and where the file and the decoded data stood.
struct GzCheckpoint : StreamCheckpoint {
    inflate_state state;
    unsigned char input[16384];
    off_t fileOffset;
    quint32 position;
    bool headerChecked;
    bool streamEnded;
    QByteArray staged;
    QByteArray stagedFailure;
};

} // namespace

// ---------------------------------------------------------------- plain

PackageArchiveIOFile::PackageArchiveIOFile(FILE *file) : m_file(file) {}

PackageArchiveIOFile::~PackageArchiveIOFile()
{
    closeFileQuietly();
}

int PackageArchiveIOFile::read(void *buffer, int length)
{
    if (length < 1 || !m_file)
        return 0;
    return int(fread(buffer, 1, size_t(length), m_file));
}

int PackageArchiveIOFile::write(const void *buffer, int length)
{
    if (length < 1 || !m_file)
        return 0;
    return int(fwrite(buffer, 1, size_t(length), m_file));
}

int PackageArchiveIOFile::seek(quint32 offset)
{
    if (!m_file)
        return -1;
    return fseeko(m_file, off_t(offset), SEEK_SET);
}

std::unique_ptr<StreamCheckpoint> PackageArchiveIOFile::checkpoint()
{
    if (!m_file)
        return nullptr;
    auto mark = std::make_unique<FilePositionCheckpoint>();
    mark->offset = ftello(m_file);
    return mark;
}

void PackageArchiveIOFile::restore(const StreamCheckpoint &checkpoint)
{
    if (m_file)
        fseeko(m_file, static_cast<const FilePositionCheckpoint &>(checkpoint).offset, SEEK_SET);
}

void PackageArchiveIOFile::close()
{
    closeFile(packagemessage::kCannotWriteFile);
}

void PackageArchiveIOFile::closeFile(const char *failureMessage)
{
    if (!m_file)
        return;
    FILE *file = m_file;
    m_file = nullptr;
    bool failed = fflush(file) != 0 || ferror(file);
    if (!failed && m_syncOnClose)
        failed = fsync(fileno(file)) != 0;
    failed = (fclose(file) != 0) || failed;
    if (failed)
        throw HException(failureMessage);
}

void PackageArchiveIOFile::closeFileQuietly()
{
    if (m_file) {
        fclose(m_file);
        m_file = nullptr;
    }
}

// ---------------------------------------------------- compressed input

PackageArchiveCompressedInputFile::PackageArchiveCompressedInputFile(FILE *file)
    : PackageArchiveIOFile(file), m_startOffset(quint32(ftello(file)))
{
}

int PackageArchiveCompressedInputFile::read(void *buffer, int length)
{
    if (length < 1)
        return 0;
    int n;
    try {
        n = readBlock(buffer, length);
    } catch (...) {
        // The codec may have consumed bytes it did not count: only a restart
        // knows where the stream stands again.
        m_positionLost = true;
        throw;
    }
    m_position += quint32(n);
    return n;
}

int PackageArchiveCompressedInputFile::seek(quint32 target)
{
    if (m_position > target || m_positionLost) {
        end();
        fseeko(file(), off_t(m_startOffset), SEEK_SET);
        m_position = 0;
        init();
        m_positionLost = false;
    }
    char scratch[BufferSize];
    while (target > m_position) {
        int want = int(std::min<quint32>(target - m_position, BufferSize));
        if (read(scratch, want) <= 0)
            break; // end of the data: the caller's read will come up short
    }
    return 0;
}

void PackageArchiveCompressedInputFile::close()
{
    end();
    closeFile(packagemessage::kReadingStream);
}

std::unique_ptr<StreamCheckpoint> PackageArchiveCompressedInputFile::checkpoint()
{
    return nullptr;
}

// ------------------------------------------------------------ zlib input

PackageArchiveCompressedGzInputFile::PackageArchiveCompressedGzInputFile(FILE *file)
    : PackageArchiveCompressedInputFile(file), m_state(std::make_unique<inflate_state>()),
      m_staging(std::make_unique<uint8_t[]>(StagingSize))
{
    init();
}

PackageArchiveCompressedGzInputFile::~PackageArchiveCompressedGzInputFile()
{
    end();
}

void PackageArchiveCompressedGzInputFile::init()
{
    isal_inflate_init(m_state.get());
    // The init resets the wrapper choice, a restart's included.
    m_state->crc_flag = ISAL_ZLIB;
    m_state->next_in = m_input;
    m_state->avail_in = 0;
    m_headerChecked = false;
    m_streamEnded = false;
    m_stagedBegin = 0;
    m_stagedEnd = 0;
    m_stagedFailure.clear();
    m_initialised = true;
    m_position = 0;
}

void PackageArchiveCompressedGzInputFile::end()
{
    m_initialised = false;
}

void PackageArchiveCompressedGzInputFile::refillInput()
{
    const size_t n = fread(m_input, 1, sizeof m_input, file());
    if (n == 0)
        throw HException(packagemessage::kReadingStream);
    m_state->next_in = m_input;
    m_state->avail_in = uint32_t(n);
}

void PackageArchiveCompressedGzInputFile::checkHeader()
{
    // The header is the file's first two bytes; a file cut after one of them
    // has ended, as for zlib, before the header could be judged.
    while (m_state->avail_in < 2) {
        const size_t n = fread(m_input + m_state->avail_in, 1, sizeof m_input - m_state->avail_in, file());
        if (n == 0)
            throw HException(packagemessage::kReadingStream);
        m_state->avail_in += uint32_t(n);
    }
    // As strictly as zlib: ISA-L alone accepts larger window fields.
    if (!zlibsegments::acceptableHeader(m_input))
        throw HException(packagemessage::kReadingCompressed);
    m_headerChecked = true;
}

int PackageArchiveCompressedGzInputFile::readBlock(void *buffer, int length)
{
    auto *out = static_cast<uint8_t *>(buffer);
    int delivered = takeStaged(out, length);
    // Past the end of the compressed data there is nothing more to deliver;
    // the decoder would answer success with no output for ever.
    if (delivered < length && m_stagedFailure.isEmpty() && !m_streamEnded && m_initialised) {
        QByteArray failure;
        if (length - delivered >= StagingSize) {
            delivered += decode(out + delivered, length - delivered, failure);
            if (!failure.isEmpty())
                throw HException(failure);
            return delivered;
        }
        m_stagedBegin = 0;
        m_stagedEnd = decode(m_staging.get(), StagingSize, m_stagedFailure);
        delivered += takeStaged(out + delivered, length - delivered);
    }
    if (stagedFailureReached(delivered < length))
        throw HException(m_stagedFailure);
    return delivered;
}

bool PackageArchiveCompressedGzInputFile::stagedFailureReached(bool wantsMore) const
{
    if (m_stagedFailure.isEmpty())
        return false;
    if (wantsMore)
        return true;
    // zlib judged what follows the last byte asked for (the next symbol, a
    // block end, the trailer) in the same call, but asked the file for more
    // only while output was still wanted.
    return m_stagedBegin == m_stagedEnd && m_stagedFailure != packagemessage::kReadingStream;
}

int PackageArchiveCompressedGzInputFile::takeStaged(uint8_t *out, int length)
{
    const int n = std::min(length, m_stagedEnd - m_stagedBegin);
    if (n > 0) {
        std::memcpy(out, m_staging.get() + m_stagedBegin, size_t(n));
        m_stagedBegin += n;
    }
    return n;
}

int PackageArchiveCompressedGzInputFile::decode(uint8_t *out, int capacity, QByteArray &failure)
{
    inflate_state &state = *m_state;
    state.next_out = out;
    state.avail_out = uint32_t(capacity);
    try {
        while (state.avail_out > 0) {
            if (!m_headerChecked)
                checkHeader();
            const uint32_t inputBefore = state.avail_in;
            const uint32_t outputBefore = state.avail_out;
            if (!inflateGoesOn(isal_inflate(&state)))
                throw HException(packagemessage::kReadingCompressed);
            if (state.block_state == ISAL_BLOCK_FINISH) {
                m_streamEnded = true;
                break;
            }
            if (state.avail_out != outputBefore)
                continue;
            // The decoder can hold decoded bytes back after using up its input,
            // so only a call that yields nothing shows that it needs more.
            if (state.avail_in == 0)
                refillInput();
            else if (state.avail_in == inputBefore)
                throw HException(packagemessage::kReadingCompressed);
        }
    } catch (const HException &error) {
        failure = error.message();
    }
    return capacity - int(state.avail_out);
}

std::unique_ptr<StreamCheckpoint> PackageArchiveCompressedGzInputFile::checkpoint()
{
    if (!m_initialised || m_positionLost)
        return nullptr;
    auto mark = std::make_unique<GzCheckpoint>();
    mark->state = *m_state;
    std::memcpy(mark->input, m_input, sizeof m_input);
    mark->fileOffset = ftello(file());
    mark->position = m_position;
    mark->headerChecked = m_headerChecked;
    mark->streamEnded = m_streamEnded;
    mark->staged = QByteArray(reinterpret_cast<const char *>(m_staging.get()) + m_stagedBegin,
                              m_stagedEnd - m_stagedBegin);
    mark->stagedFailure = m_stagedFailure;
    return mark;
}

void PackageArchiveCompressedGzInputFile::restore(const StreamCheckpoint &checkpoint)
{
    const auto &mark = static_cast<const GzCheckpoint &>(checkpoint);
    // The state's input pointer points into m_input, whose bytes come back too.
    *m_state = mark.state;
    std::memcpy(m_input, mark.input, sizeof m_input);
    fseeko(file(), mark.fileOffset, SEEK_SET);
    m_position = mark.position;
    m_headerChecked = mark.headerChecked;
    m_streamEnded = mark.streamEnded;
    std::memcpy(m_staging.get(), mark.staged.constData(), size_t(mark.staged.size()));
    m_stagedBegin = 0;
    m_stagedEnd = mark.staged.size();
    m_stagedFailure = mark.stagedFailure;
    m_initialised = true;
    m_positionLost = false;
}

// ----------------------------------------------------------- bzip2 input

PackageArchiveCompressedBzInputFile::PackageArchiveCompressedBzInputFile(FILE *file)
    : PackageArchiveCompressedInputFile(file)
{
    init();
}

PackageArchiveCompressedBzInputFile::~PackageArchiveCompressedBzInputFile()
{
    if (m_handle) {
        int error;
        BZ2_bzReadClose(&error, m_handle);
    }
}

void PackageArchiveCompressedBzInputFile::init()
{
    int error = BZ_OK;
    m_handle = BZ2_bzReadOpen(&error, file(), 0, 0, nullptr, 0);
    if (error != BZ_OK || !m_handle) {
        if (m_handle) {
            int ignored;
            BZ2_bzReadClose(&ignored, m_handle);
        }
        m_handle = nullptr;
        throw HException(packagemessage::kInitInflate);
    }
    m_position = 0;
}

void PackageArchiveCompressedBzInputFile::end()
{
    if (!m_handle)
        return;
    int error = BZ_OK;
    BZ2_bzReadClose(&error, m_handle);
    m_handle = nullptr;
    if (error != BZ_OK)
        throw HException(packagemessage::kDecompressing);
}

int PackageArchiveCompressedBzInputFile::readBlock(void *buffer, int length)
{
    if (length < 1)
        return length;
    if (!m_handle)
        throw HException(packagemessage::kReadingCompressed);
    int error = BZ_OK;
    int n = BZ2_bzRead(&error, m_handle, buffer, length);
    if (n == length && error >= 0)
        return length;
    throw HException(packagemessage::kReadingCompressed);
}

// --------------------------------------------------- compressed output

PackageArchiveCompressedOutputFile::PackageArchiveCompressedOutputFile(FILE *file, int level)
    : PackageArchiveIOFile(file), m_level(level)
{
}

int PackageArchiveCompressedOutputFile::write(const void *buffer, int length)
{
    if (length < 1)
        return 0;
    return writeBlock(buffer, length);
}

void PackageArchiveCompressedOutputFile::close()
{
    if (!m_finished) {
        m_finished = true;
        finish();
    }
    closeFile(packagemessage::kWritingCompressed);
}

void PackageArchiveCompressedOutputFile::finishQuietly()
{
    if (m_finished)
        return;
    m_finished = true;
    try {
        finish();
    } catch (const HException &) {
        // A destructor cannot report; close() is the path that does.
    }
}

// ----------------------------------------------------------- zlib output

PackageArchiveCompressedGzOutputFile::PackageArchiveCompressedGzOutputFile(FILE *file, int level)
    : PackageArchiveCompressedOutputFile(file, level)
{
    init();
}

PackageArchiveCompressedGzOutputFile::~PackageArchiveCompressedGzOutputFile()
{
    finishQuietly();
}

void PackageArchiveCompressedGzOutputFile::init()
{
    if (m_level == Z_DEFAULT_COMPRESSION)
        m_level = 6; // what deflate makes of it
    if (m_level < 0 || m_level > 9)
        throw HException(packagemessage::kInitDeflate);
    writeOrThrow(zlibsegments::header(m_level));
    m_initialised = true;
}

void PackageArchiveCompressedGzOutputFile::writeOrThrow(const QByteArray &bytes)
{
    if (fwrite(bytes.constData(), 1, size_t(bytes.size()), file()) != size_t(bytes.size()))
        throw HException(packagemessage::kWritingCompressed);
}

void PackageArchiveCompressedGzOutputFile::beginRegion(quint64 size, bool ownSegments)
{
    const quint32 segmentSize = zlibsegments::SegmentSize;
    if (ownSegments || m_cutBeforeNext || size >= segmentSize || quint32(m_pending.size()) >= segmentSize)
        cutSegment();
    m_cutBeforeNext = ownSegments;
    m_regionCuts = ownSegments || size >= segmentSize;
    // A small member that takes a segment past SegmentSize: room for it
    // alone, not the doubling an append would make.
    if (!m_regionCuts && quint64(m_pending.size()) + size > quint64(m_pending.capacity()))
        m_pending.reserve(m_pending.size() + int(size));
}

int PackageArchiveCompressedGzOutputFile::writeBlock(const void *buffer, int length)
{
    if (!m_initialised)
        throw HException(packagemessage::kCompressing);
    // A region that is not cut every SegmentSize bytes still ends a segment
    // at twice that, should more arrive than it announced.
    const int limit = int(m_regionCuts ? zlibsegments::SegmentSize : zlibsegments::LargestSegment);
    const char *bytes = static_cast<const char *>(buffer);
    int left = length;
    while (left > 0) {
        if (m_pending.size() >= limit)
            cutSegment();
        if (m_pending.isEmpty() && m_pending.capacity() < int(zlibsegments::SegmentSize))
            m_pending = pipeline().spareBuffer();
        const int n = std::min(left, limit - m_pending.size());
        m_pending.append(bytes, n);
        bytes += n;
        left -= n;
    }
    return length;
}

void PackageArchiveCompressedGzOutputFile::appendSegment(zlibsegments::Segment segment)
{
    if (!m_initialised)
        throw HException(packagemessage::kCompressing);
    cutSegment();
    pipeline().add(std::move(segment));
}

void PackageArchiveCompressedGzOutputFile::cutSegment()
{
    if (m_pending.isEmpty())
        return;
    QByteArray plain;
    plain.swap(m_pending);
    pipeline().compress(std::move(plain));
}

SegmentPipeline &PackageArchiveCompressedGzOutputFile::pipeline()
{
    if (!m_pipeline)
        m_pipeline = std::make_unique<SegmentPipeline>(
            m_level, m_threads, [this](const zlibsegments::Segment &segment) { writeSegment(segment); });
    return *m_pipeline;
}

void PackageArchiveCompressedGzOutputFile::writeSegment(const zlibsegments::Segment &segment)
{
    writeOrThrow(segment.deflated);
    m_adler = zlibsegments::combine(m_adler, segment.adler, segment.length);
}

void PackageArchiveCompressedGzOutputFile::finish()
{
    if (!m_initialised)
        throw HException(packagemessage::kCompressing);
    m_initialised = false;
    cutSegment();
    if (m_pipeline)
        m_pipeline->drain();
    m_pipeline.reset();
    writeOrThrow(zlibsegments::finalBlock());
    writeOrThrow(zlibsegments::trailer(m_adler));
}

// ---------------------------------------------------------- bzip2 output

namespace {

// libbzip2 keeps its handle when closing meets a file error; abandoning
// with the error cleared is the call that always frees it.
void abandonBzWrite(FILE *file, BZFILE *handle)
{
    int error;
    clearerr(file);
    BZ2_bzWriteClose(&error, handle, 1, nullptr, nullptr);
}

} // namespace

PackageArchiveCompressedBzOutputFile::PackageArchiveCompressedBzOutputFile(FILE *file, int level)
    : PackageArchiveCompressedOutputFile(file, level)
{
    init();
}

PackageArchiveCompressedBzOutputFile::~PackageArchiveCompressedBzOutputFile()
{
    finishQuietly();
    if (m_handle) {
        abandonBzWrite(file(), m_handle);
        m_handle = nullptr;
    }
}

void PackageArchiveCompressedBzOutputFile::init()
{
    int error = BZ_OK;
    m_handle = BZ2_bzWriteOpen(&error, file(), m_level, 0, 30);
    if (error != BZ_OK || !m_handle) {
        if (m_handle)
            abandonBzWrite(file(), m_handle);
        m_handle = nullptr;
        throw HException(packagemessage::kInitDeflate);
    }
}

int PackageArchiveCompressedBzOutputFile::writeBlock(const void *buffer, int length)
{
    if (length < 1)
        return length;
    if (!m_handle)
        throw HException(packagemessage::kWritingCompressed);
    int error = BZ_OK;
    BZ2_bzWrite(&error, m_handle, const_cast<void *>(buffer), length);
    if (error != BZ_OK)
        throw HException(packagemessage::kWritingCompressed);
    return length;
}

void PackageArchiveCompressedBzOutputFile::finish()
{
    if (!m_handle)
        throw HException(packagemessage::kCompressing);
    int error = BZ_OK;
    BZ2_bzWriteClose(&error, m_handle, 0, nullptr, nullptr);
    if (error != BZ_OK) {
        abandonBzWrite(file(), m_handle);
        m_handle = nullptr;
        throw HException(packagemessage::kCompressing);
    }
    m_handle = nullptr;
}
