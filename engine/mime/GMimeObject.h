// One owner for every GObject the engine keeps: a shared pointer whose
// deleter unreferences. Adopt() takes over a reference GMime handed us
// ("transfer full"); Retain() adds one for an object we only borrowed
// ("transfer none").
#pragma once

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

template <typename T>
boost::shared_ptr<T> RetainGObject(T* object)
{
    if (object) g_object_ref(object);
    return AdoptGObject(object);
}

}  // namespace KestrinMIMEEngineCommon
