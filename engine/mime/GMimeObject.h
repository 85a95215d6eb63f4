// One owner for every GObject the engine keeps: a shared pointer whose
// deleter unreferences. AdoptGObject() takes over a reference GMime handed
// us ("transfer full"). Strings go in a GCharPtr.
#pragma once

#include <memory>

#include <boost/shared_ptr.hpp>
#include <glib-object.h>

namespace KestrinMIMEEngineCommon {

struct GObjectUnref {
    void operator()(void* object) const
    {
        if (object) g_object_unref(object);
    }
};

template <typename T>
boost::shared_ptr<T> AdoptGObject(T* object)
{
    return object ? boost::shared_ptr<T>(object, GObjectUnref()) : boost::shared_ptr<T>();
}

// A string GLib or GMime handed over, freed with g_free.
struct GFreeDeleter {
    void operator()(void* memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

}  // namespace KestrinMIMEEngineCommon
