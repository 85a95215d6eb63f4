// The GMime stream class "GMimeStreamKSData": offers one of the engine's data
// objects to GMime. Every operation takes the data object's own lock for that
// one call only, so an object shared with other readers stays consistent per
// call. Create instances with CreateMimeStream (mime/MimeServices.h).
#pragma once

#include <gmime/gmime.h>

#include <boost/shared_ptr.hpp>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

// The facets of the wrapped object, looked up once when the stream is made;
// a null facet means the object does not offer that side.
struct KSGMimeStreamData {
    boost::shared_ptr<KSLockable> data;
    KSDataStreamIn* input = nullptr;
    KSDataStreamOut* output = nullptr;
    KSDataReadable* readable = nullptr;
    KSDataSeekable* seekable = nullptr;
};

struct KSGMimeStream {
    GMimeStream parent;
    KSGMimeStreamData* data;  // heap-allocated; released by finalize
    gboolean eos;              // a read came back short; cleared by reset
};

struct KSGMimeStreamClass {
    GMimeStreamClass parent_class;
};

// Registers the class on first use.
GType KSGMimeStreamGetType();

}  // namespace KestrinMIMEEngineCommon
