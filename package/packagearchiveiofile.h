// Byte streams over an open FILE: plain, and zlib/bzip2 compressing and
// decompressing streams that the archive reads and writes its body through.
#pragma once

#include "package/zlibsegments.h"

#include <QByteArray>
#include <QtGlobal>

#include <bzlib.h>
#include <cstdio>
#include <memory>

struct inflate_state;
class SegmentPipeline;

/// Where an input stream stood, to come back to: see checkpoint().
class StreamCheckpoint {
public:
    virtual ~StreamCheckpoint();
};

/// The abstract stream. Lengths and results are 32-bit signed; offsets are
/// 32-bit unsigned positions.
class PackageArchiveIOFileInterface {
public:
    virtual ~PackageArchiveIOFileInterface();
    /// Reads up to `length` bytes; returns how many arrived.
    virtual int read(void *buffer, int length) = 0;
    /// Writes `length` bytes; returns how many were accepted.
    virtual int write(const void *buffer, int length) = 0;
    /// Positions the stream; the result carries no meaning for compressed input.
    virtual int seek(quint32 offset) = 0;
    /// Completes the stream (the compressed trailer for output) and closes the
    /// file, throwing HException on failure. Destroying a stream that was not
    /// closed completes it too, but can only swallow the error.
    virtual void close() = 0;
    /// Where the stream stands now, so that restore() can come back to it
    /// without going over what came before; null when the stream cannot
    /// (the default, and bzip2 input).
    virtual std::unique_ptr<StreamCheckpoint> checkpoint();
    /// Comes back to a checkpoint this stream made, for reading the same
    /// bytes again.
    virtual void restore(const StreamCheckpoint &checkpoint);

    /// The next `size` bytes written form one part of the body: a member's
    /// data, or (`ownSegments`) the header and table of contents, which
    /// share no segment with anything else. A stream that cuts its data into
    /// segments chooses its cuts from these; the others ignore them.
    virtual void beginRegion(quint64 size, bool ownSegments);
    /// Whether appendSegment() works on this stream (not by default).
    virtual bool appendsSegments() const;
    /// Puts an independently compressed segment into the body as it stands,
    /// after everything written so far. Throws "error compressing stream"
    /// on a stream that does not appendsSegments().
    virtual void appendSegment(zlibsegments::Segment segment);
};

/// A plain stream on one FILE, which it owns.
class PackageArchiveIOFile : public PackageArchiveIOFileInterface {
public:
    explicit PackageArchiveIOFile(FILE *file);
    ~PackageArchiveIOFile() override;

    PackageArchiveIOFile(const PackageArchiveIOFile &) = delete;
    PackageArchiveIOFile &operator=(const PackageArchiveIOFile &) = delete;

    int read(void *buffer, int length) override;
    int write(const void *buffer, int length) override;
    /// Absolute file position; fseek's result.
    int seek(quint32 offset) override;
    /// Flushes written data (and, when asked, syncs it to disk) and closes the
    /// file; throws "cannot write file" when buffered data cannot be written.
    void close() override;

    /// The file position.
    std::unique_ptr<StreamCheckpoint> checkpoint() override;
    void restore(const StreamCheckpoint &checkpoint) override;

    /// When set, close() also fsyncs the file before closing it.
    void setSyncOnClose(bool sync) { m_syncOnClose = sync; }
    /// The file's descriptor, -1 once closed.
    int descriptor() const { return m_file ? fileno(m_file) : -1; }

protected:
    FILE *file() const { return m_file; }
    /// Flushes (and syncs, when asked) and closes the FILE, throwing
    /// `failureMessage` when any of it fails; nothing when already closed.
    void closeFile(const char *failureMessage);
    /// Closes the FILE without reporting; safe to call twice.
    void closeFileQuietly();

private:
    FILE *m_file;
    bool m_syncOnClose = false;
};

/// A decompressing stream positioned in the decompressed data.
class PackageArchiveCompressedInputFile : public PackageArchiveIOFile {
public:
    /// Records the file's current position as the start of the compressed data.
    explicit PackageArchiveCompressedInputFile(FILE *file);

    /// Decompresses up to `length` bytes; fewer only at the end of the stream.
    int read(void *buffer, int length) override;
    /// Forward: decompresses and drops; backward: restarts at the start.
    int seek(quint32 offset) override;
    void close() override;
    /// None by default: a codec that can copy its state says so.
    std::unique_ptr<StreamCheckpoint> checkpoint() override;

    quint32 position() const { return m_position; }
    /// The file offset at which the compressed data begins.
    quint32 startOffset() const { return m_startOffset; }

    /// Starts the codec at the file's current position; position() becomes 0.
    virtual void init() = 0;
    /// Releases the codec.
    virtual void end() = 0;
    /// Decompresses up to `length` (at least 1) bytes into `buffer`.
    virtual int readBlock(void *buffer, int length) = 0;

protected:
    quint32 m_startOffset;
    quint32 m_position = 0;
    /// Set when a read failed part-way; the next seek restarts.
    bool m_positionLost = false;
};

/// Method 0 input: a zlib stream (RFC 1950 header, deflate data, Adler-32
/// trailer), decoded with ISA-L's inflater. Its two header bytes are checked
/// here, as strictly as zlib does, before the decoder sees them.
///
/// Reads shorter than StagingSize are served from a buffer that the decoder
/// fills StagingSize bytes at a time: small calls would cost the decoder more
/// than their bytes, and it would look ahead of them on its own. A failure
/// met while filling it waits until a read wants bytes beyond those decoded
/// before it, so errors surface where the data needs them, as with zlib.
class PackageArchiveCompressedGzInputFile : public PackageArchiveCompressedInputFile {
public:
    static constexpr int StagingSize = 256 * 1024;

    explicit PackageArchiveCompressedGzInputFile(FILE *file);
    ~PackageArchiveCompressedGzInputFile() override;

    /// Cannot fail: the decoder state is allocated once, by the constructor.
    void init() override;
    void end() override;
    /// Fewer than `length` bytes only at the end of the stream; throws
    /// "error reading stream" when the file ends first and "error reading
    /// from compressed stream" for a bad header, damaged data or checksum.
    int readBlock(void *buffer, int length) override;
    /// A copy of the decoder state and of the buffered input and output.
    std::unique_ptr<StreamCheckpoint> checkpoint() override;
    void restore(const StreamCheckpoint &checkpoint) override;

private:
    /// Decodes up to `capacity` bytes into `out` and answers how many came;
    /// a failure leaves its message in `failure`, the bytes before it counted.
    int decode(uint8_t *out, int capacity, QByteArray &failure);
    /// Replaces the consumed input with the next bytes of the file.
    void refillInput();
    /// Throws unless the buffered input starts with an acceptable header.
    void checkHeader();
    /// Whether the failure that stopped the last fill is due now that the
    /// staged bytes are taken (`wantsMore`: the read is still short).
    bool stagedFailureReached(bool wantsMore) const;
    /// Moves up to `length` staged bytes to `out`; answers how many.
    int takeStaged(uint8_t *out, int length);

    std::unique_ptr<inflate_state> m_state; // about 87 KB: one per stream
    bool m_initialised = false;
    bool m_headerChecked = false;
    bool m_streamEnded = false;
    unsigned char m_input[16384];
    std::unique_ptr<uint8_t[]> m_staging;
    int m_stagedBegin = 0;
    int m_stagedEnd = 0;
    QByteArray m_stagedFailure; // what stopped the last fill, if anything
};

class PackageArchiveCompressedBzInputFile : public PackageArchiveCompressedInputFile {
public:
    explicit PackageArchiveCompressedBzInputFile(FILE *file);
    ~PackageArchiveCompressedBzInputFile() override;

    void init() override;
    void end() override;
    int readBlock(void *buffer, int length) override;

private:
    BZFILE *m_handle = nullptr;
};

/// A compressing stream. Output is complete only after close() (or destruction).
class PackageArchiveCompressedOutputFile : public PackageArchiveIOFile {
public:
    PackageArchiveCompressedOutputFile(FILE *file, int level);

    int write(const void *buffer, int length) override;
    /// Finishes the compressed data, then flushes and closes the file.
    void close() override;

    /// Compresses `length` (at least 1) bytes; returns `length` or throws.
    virtual int writeBlock(const void *buffer, int length) = 0;
    /// Starts the codec at `m_level`.
    virtual void init() = 0;
    /// Completes the compressed data and releases the codec.
    virtual void finish() = 0;

protected:
    /// For the codec destructors: finishes unless already done, swallowing errors.
    void finishQuietly();

    int m_level;
    bool m_finished = false;
};

/// Method 0 output: a zlib stream made of independent segments (see
/// zlibsegments.h), compressed on worker threads when there are any. The
/// bytes written are the same whatever the number of threads.
class PackageArchiveCompressedGzOutputFile : public PackageArchiveCompressedOutputFile {
public:
    /// Writes the zlib header; a level deflate refuses (outside -1..9) raises
    /// "cannot initialise deflate".
    PackageArchiveCompressedGzOutputFile(FILE *file, int level);
    ~PackageArchiveCompressedGzOutputFile() override;

    /// How many worker threads compress segments (1 or less: none, the
    /// default). Takes effect if set before the first segment is complete.
    void setWorkerThreads(int threads) { m_threads = threads; }

    int writeBlock(const void *buffer, int length) override;
    void init() override;
    /// Compresses what is pending, writes every segment in order, then the
    /// empty final block and the combined Adler-32.
    void finish() override;

    void beginRegion(quint64 size, bool ownSegments) override;
    bool appendsSegments() const override { return true; }
    void appendSegment(zlibsegments::Segment segment) override;

private:
    /// Hands the pending bytes, if any, to the pipeline as one segment.
    void cutSegment();
    SegmentPipeline &pipeline();
    /// Writes a finished segment to the file and adds it to the checksum.
    void writeSegment(const zlibsegments::Segment &segment);
    void writeOrThrow(const QByteArray &bytes);

    int m_threads = 1;
    bool m_initialised = false;
    QByteArray m_pending;
    /// Whether the current region is cut every SegmentSize bytes (a large
    /// member, the table of contents, or bytes written without regions).
    bool m_regionCuts = true;
    /// Whether the next region starts a segment whatever the pending size.
    bool m_cutBeforeNext = false;
    quint32 m_adler = zlibsegments::InitialAdler;
    std::unique_ptr<SegmentPipeline> m_pipeline;
};

class PackageArchiveCompressedBzOutputFile : public PackageArchiveCompressedOutputFile {
public:
    PackageArchiveCompressedBzOutputFile(FILE *file, int level);
    ~PackageArchiveCompressedBzOutputFile() override;

    int writeBlock(const void *buffer, int length) override;
    void init() override;
    void finish() override;

private:
    BZFILE *m_handle = nullptr;
};
