// Appends everything written to a string the caller owns and keeps alive.
// Unshared by nature, so it has no lock of its own.
#pragma once

#include <string>

#include "streams/KSData.h"

namespace KestrinMIMEEngineCommon {

class KSStringData : public KSDataStreamOut {
public:
    explicit KSStringData(std::string* target) : m_target(target) {}

    void Lock() override {}
    void Unlock() override {}
    size_t Write(const void* buffer, size_t n) override
    {
        m_target->append(static_cast<const char*>(buffer), n);
        return n;
    }
    bool Flush() override { return true; }

private:
    std::string* m_target;
};

}  // namespace KestrinMIMEEngineCommon
