#include "mime/KSGMimeStream.h"

#include <exception>
#include <limits>
#include <memory>
#include <mutex>

#include "mime/MimeServices.h"
#include "streams/KSDiagnostics.h"
#include "streams/KSSubDataReadable.h"

namespace KestrinMIMEEngineCommon {

namespace {

GMimeStreamClass* g_parentClass = nullptr;

GMimeStream* NewMimeStream(const boost::shared_ptr<KSLockable>& data);

KSGMimeStream* Self(GMimeStream* stream)
{
    return reinterpret_cast<KSGMimeStream*>(stream);
}

// Holds the data object's lock for one operation; released on every way out.
class OperationLock {
public:
    explicit OperationLock(KSLockable& lockable) : m_lockable(lockable) { m_lockable.Lock(); }
    ~OperationLock() { m_lockable.Unlock(); }
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;

private:
    KSLockable& m_lockable;
};

// GMime is C: an exception must not unwind through its frames (it would leak
// the parser's state at best). A throwing data object becomes a failed call.
template <typename Result, typename Operation>
Result Guarded(const char* name, Result failure, Operation operation)
{
    try {
        return operation();
    } catch (const std::exception& error) {
        KSDiagnostic("ERROR: KSGMimeStream - %s failed - %s\n", name, error.what());
    } catch (...) {
        KSDiagnostic("ERROR: KSGMimeStream - %s failed\n", name);
    }
    return failure;
}

ssize_t StreamRead(GMimeStream* stream, char* buffer, size_t length)
{
    KSGMimeStream* self = Self(stream);
    KSGMimeStreamData* data = self->data;
    if (!data || !data->input) {
        // Nothing will ever come: say so, or a copy loop waiting for eos
        // would spin forever.
        self->eos = TRUE;
        return 0;
    }
    if (length > static_cast<size_t>(std::numeric_limits<ssize_t>::max()))
        length = static_cast<size_t>(std::numeric_limits<ssize_t>::max());
    return Guarded<ssize_t>("read", -1, [&]() {
        size_t count;
        {
            OperationLock lock(*data->data);
            count = data->input->Read(buffer, length);
        }
        if (count < length) self->eos = TRUE;
        return static_cast<ssize_t>(count);
    });
}

ssize_t StreamWrite(GMimeStream* stream, const char* buffer, size_t length)
{
    KSGMimeStreamData* data = Self(stream)->data;
    if (!data || !data->output) return -1;
    if (length == 0) return 0;
    if (length > static_cast<size_t>(std::numeric_limits<ssize_t>::max()))
        length = static_cast<size_t>(std::numeric_limits<ssize_t>::max());
    return Guarded<ssize_t>("write", -1, [&]() {
        OperationLock lock(*data->data);
        size_t count = data->output->Write(buffer, length);
        // GMime reads 0 as "try again"; a stream that takes nothing failed.
        return count == 0 ? ssize_t(-1) : static_cast<ssize_t>(count);
    });
}

int StreamFlush(GMimeStream* stream)
{
    KSGMimeStreamData* data = Self(stream)->data;
    if (!data || !data->output) return 0;
    return Guarded<int>("flush", -1, [&]() {
        OperationLock lock(*data->data);
        // A flush that lost data (disk full) must not pass for a success.
        return data->output->Flush() ? 1 : -1;
    });
}

int StreamClose(GMimeStream*)
{
    // The data object closes itself when its last owner lets go.
    return 0;
}

gboolean StreamEos(GMimeStream* stream)
{
    KSGMimeStream* self = Self(stream);
    if (self->eos) return TRUE;
    KSGMimeStreamData* data = self->data;
    if (!data || !data->readable) return self->eos;
    return Guarded<gboolean>("eos", TRUE, [&]() {
        bool atEnd;
        {
            OperationLock lock(*data->data);
            atEnd = data->readable->Seek(0, 1) >= data->readable->GetSize();
        }
        self->eos = atEnd ? TRUE : FALSE;
        return self->eos;
    });
}

int StreamReset(GMimeStream* stream)
{
    KSGMimeStream* self = Self(stream);
    KSGMimeStreamData* data = self->data;
    if (!data || !data->seekable) return 0;
    return Guarded<int>("reset", -1, [&]() {
        self->eos = FALSE;
        OperationLock lock(*data->data);
        data->seekable->Seek(0, 0);
        return 1;
    });
}

int SeekOrigin(GMimeSeekWhence whence)
{
    switch (whence) {
    case GMIME_STREAM_SEEK_SET: return 0;
    case GMIME_STREAM_SEEK_CUR: return 1;
    case GMIME_STREAM_SEEK_END: return 2;
    }
    return -1;
}

// Without a seekable side both seek and tell answer -1: the parser takes a
// stream whose tell is not -1 for seekable and would then build its parts as
// substreams, which such an object cannot give.
gint64 StreamSeek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence)
{
    KSGMimeStreamData* data = Self(stream)->data;
    if (!data || !data->seekable) return -1;
    return Guarded<gint64>("seek", -1, [&]() {
        OperationLock lock(*data->data);
        return static_cast<gint64>(data->seekable->Seek(offset, SeekOrigin(whence)));
    });
}

gint64 StreamTell(GMimeStream* stream)
{
    KSGMimeStreamData* data = Self(stream)->data;
    if (!data || !data->seekable) return -1;
    return Guarded<gint64>("tell", -1, [&]() {
        OperationLock lock(*data->data);
        return static_cast<gint64>(data->seekable->Seek(0, 1));
    });
}

gint64 StreamLength(GMimeStream* stream)
{
    KSGMimeStreamData* data = Self(stream)->data;
    if (!data || !data->input) return 0;
    return Guarded<gint64>("length", -1, [&]() {
        OperationLock lock(*data->data);
        return static_cast<gint64>(data->input->GetSize());
    });
}

GMimeStream* StreamSubstream(GMimeStream* stream, gint64 start, gint64 end)
{
    KSGMimeStreamData* data = Self(stream)->data;
    boost::shared_ptr<KSDataReadable> source =
        data ? boost::dynamic_pointer_cast<KSDataReadable>(data->data)
             : boost::shared_ptr<KSDataReadable>();
    if (!source) {
        KSDiagnostic("ERROR: Cannot create substream in KSGMimeStream\n");
        return nullptr;
    }
    return Guarded<GMimeStream*>("substream", nullptr, [&]() -> GMimeStream* {
        gint64 last = end;
        if (last == -1) {
            OperationLock lock(*data->data);
            last = source->GetSize();
        }
        int64_t length = last > start ? last - start : 0;
        // The window shares the source's lock, so it is built outside it.
        boost::shared_ptr<KSLockable> window =
            boost::make_shared<KSSubDataReadable>(source, start, length);
        // GMime takes over the new stream's only reference.
        return NewMimeStream(window);
    });
}

void StreamFinalize(GObject* object)
{
    KSGMimeStream* self = reinterpret_cast<KSGMimeStream*>(object);
    delete self->data;
    self->data = nullptr;
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

void ClassInit(gpointer klass, gpointer)
{
    g_parentClass = static_cast<GMimeStreamClass*>(g_type_class_peek_parent(klass));

    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->finalize = StreamFinalize;

    GMimeStreamClass* streamClass = GMIME_STREAM_CLASS(klass);
    streamClass->read = StreamRead;
    streamClass->write = StreamWrite;
    streamClass->flush = StreamFlush;
    streamClass->close = StreamClose;
    streamClass->eos = StreamEos;
    streamClass->reset = StreamReset;
    streamClass->seek = StreamSeek;
    streamClass->tell = StreamTell;
    streamClass->length = StreamLength;
    streamClass->substream = StreamSubstream;
}

void InstanceInit(GTypeInstance* instance, gpointer)
{
    KSGMimeStream* self = reinterpret_cast<KSGMimeStream*>(instance);
    self->data = nullptr;
    self->eos = FALSE;
}

// A new stream owning a reference to the data object; the caller receives
// the stream's only reference. Null for an empty pointer.
GMimeStream* NewMimeStream(const boost::shared_ptr<KSLockable>& data)
{
    if (!data) return nullptr;
    std::unique_ptr<KSGMimeStreamData> state(new KSGMimeStreamData);
    state->data = data;
    state->input = dynamic_cast<KSDataStreamIn*>(data.get());
    state->output = dynamic_cast<KSDataStreamOut*>(data.get());
    state->readable = dynamic_cast<KSDataReadable*>(data.get());
    state->seekable = dynamic_cast<KSDataSeekable*>(data.get());

    auto* stream = static_cast<KSGMimeStream*>(g_object_new(KSGMimeStreamGetType(), nullptr));
    stream->data = state.release();
    g_mime_stream_construct(&stream->parent, 0, -1);
    return &stream->parent;
}

}  // namespace

GType KSGMimeStreamGetType()
{
    static GType type = 0;
    static std::once_flag once;
    std::call_once(once, []() {
        InitializeMimeEngine();
        GTypeInfo info = {};
        info.class_size = sizeof(KSGMimeStreamClass);
        info.class_init = ClassInit;
        info.instance_size = sizeof(KSGMimeStream);
        info.instance_init = InstanceInit;
        type = g_type_register_static(GMIME_TYPE_STREAM, "GMimeStreamKSData", &info,
                                      static_cast<GTypeFlags>(0));
    });
    return type;
}

GMimeStreamPtr CreateMimeStream(const boost::shared_ptr<KSLockable>& data)
{
    return AdoptGObject(NewMimeStream(data));
}

}  // namespace KestrinMIMEEngineCommon
