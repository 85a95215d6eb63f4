// Input streams that read another input stream and hand out transformed
// bytes. A filter must be locked while it is read: locking it takes its
// source's lock and puts a seekable source back where this filter left it,
// so several filters can take turns over one source. The source is expected
// to hold the filtered data from offset 0.
#pragma once

#include <memory>

#include <zstd.h>

#include <boost/shared_ptr.hpp>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSDataFilter : public KSDataStreamIn {
public:
    explicit KSDataFilter(boost::shared_ptr<KSDataStreamIn> source);

    void Lock() override;
    void Unlock() override;
    int64_t GetSize() override;
    // Passes the source's bytes through unchanged.
    size_t Read(void* buffer, size_t n) override;

    int64_t GetConsumed() const { return m_consumed; }

protected:
    // Reads from the source and counts what was consumed.
    size_t ReadSource(void* buffer, size_t n);

private:
    boost::shared_ptr<KSDataStreamIn> m_source;
    boost::shared_ptr<KSDataLock<KSDataStreamIn>> m_heldLock;
    int64_t m_consumed = 0;
};

// Expands exactly one zstd frame. After the frame's end, the end of the
// source, or a decoding error every Read answers 0.
class ZStdDecompressionFilter : public KSDataFilter {
public:
    ZStdDecompressionFilter(boost::shared_ptr<KSDataStreamIn> source, int64_t expectedSize);

    int64_t GetSize() override { return m_expectedSize; }
    size_t Read(void* buffer, size_t n) override;

private:
    struct DStreamDeleter {
        void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
    };
    static constexpr size_t kInputSize = 4096;

    uint8_t m_inputBuffer[kInputSize];
    ZSTD_inBuffer m_input{m_inputBuffer, 0, 0};
    std::unique_ptr<ZSTD_DStream, DStreamDeleter> m_stream;
    int64_t m_expectedSize;
};

}  // namespace KestrinMIMEEngineCommon
