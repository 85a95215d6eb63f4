#include "streams/KSDataFilter.h"

#include <algorithm>
#include <stdexcept>

#include <boost/make_shared.hpp>

#include "streams/KSDiagnostics.h"

namespace KestrinMIMEEngineCommon {

KSDataFilter::KSDataFilter(boost::shared_ptr<KSDataStreamIn> source) : m_source(std::move(source)) {}

void KSDataFilter::Lock()
{
    auto held = boost::make_shared<KSDataLock<KSDataStreamIn>>(m_source);
    if (auto seekable = boost::dynamic_pointer_cast<KSDataSeekable>(m_source)) seekable->Seek(m_consumed, 0);
    m_heldLock = std::move(held);
}

void KSDataFilter::Unlock() { m_heldLock.reset(); }

int64_t KSDataFilter::GetSize() { return m_source->GetSize(); }

size_t KSDataFilter::ReadSource(void* buffer, size_t n)
{
    size_t got = m_source->Read(buffer, n);
    m_consumed += static_cast<int64_t>(got);
    return got;
}

size_t KSDataFilter::Read(void* buffer, size_t n) { return ReadSource(buffer, n); }

ZStdDecompressionFilter::ZStdDecompressionFilter(boost::shared_ptr<KSDataStreamIn> source, int64_t expectedSize)
    : KSDataFilter(std::move(source)), m_stream(ZSTD_createDStream()), m_expectedSize(expectedSize)
{
    if (!m_stream) throw std::runtime_error("Unable to init");
    if (ZSTD_isError(ZSTD_initDStream(m_stream.get())))
        throw std::runtime_error("Decompression error : cannot create frame header");
}

size_t ZStdDecompressionFilter::Read(void* buffer, size_t n)
{
    if (!m_stream || n == 0) return 0;
    ZSTD_outBuffer output{buffer, n, 0};
    for (;;) {
        size_t hint = ZSTD_decompressStream(m_stream.get(), &output, &m_input);
        if (ZSTD_isError(hint)) {
            KSDiagnostic("ERROR: Decompression error : Error in asset stream.\n");
            m_stream.reset();
            return output.pos;
        }
        if (hint == 0) {
            m_stream.reset();
            return output.pos;
        }
        if (m_input.pos == m_input.size) {
            // Never ask for more than the frame still needs, so a shared
            // source is left exactly at the frame's end.
            size_t got = ReadSource(m_inputBuffer, std::min(hint, kInputSize));
            if (got == 0) {
                m_stream.reset();
                return output.pos;
            }
            m_input.size = got;
            m_input.pos = 0;
        }
        if (output.pos == output.size) return output.pos;
    }
}

}  // namespace KestrinMIMEEngineCommon
