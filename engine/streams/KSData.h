// The byte-stream family every non-database byte of the engine goes through.
// Interfaces are joined by virtual inheritance so that a read-write stream has
// exactly one lock and one position.
#pragma once

#include <cstddef>
#include <cstdint>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

namespace KestrinMIMEEngineCommon {

class KSLockable {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual ~KSLockable() = default;
};

class KSDataStreamIn : public virtual KSLockable {
public:
    virtual int64_t GetSize() = 0;
    // Copies up to n bytes from the current position; 0 means no more data.
    virtual size_t Read(void* buffer, size_t n) = 0;
};

class KSDataStreamOut : public virtual KSLockable {
public:
    // Answers the number of bytes written; fewer than n means failure.
    virtual size_t Write(const void* buffer, size_t n) = 0;
    virtual bool Flush() = 0;
};

class KSDataSeekable : public virtual KSLockable {
public:
    // whence: 0 from the start, 1 from the current position, 2 from the end.
    // Seek(0, 1) is how the current position is asked for.
    virtual int64_t Seek(int64_t offset, int whence) = 0;
};

class KSDataReadable : public KSDataStreamIn, public virtual KSDataSeekable {};
class KSDataWritable : public KSDataStreamOut, public virtual KSDataSeekable {};
class KSDataReadWrite : public KSDataReadable, public KSDataWritable {};

// Scoped holder of a stream's lock. Copies share the inner lock, so the
// stream is unlocked when the last copy goes away.
template <typename T>
class KSDataLock;

template <>
class KSDataLock<KSLockable> {
public:
    explicit KSDataLock(boost::shared_ptr<KSLockable> lockable) : m_lockable(std::move(lockable))
    {
        if (m_lockable) m_lockable->Lock();
    }
    ~KSDataLock()
    {
        if (m_lockable) m_lockable->Unlock();
    }
    KSDataLock(const KSDataLock&) = delete;
    KSDataLock& operator=(const KSDataLock&) = delete;

private:
    boost::shared_ptr<KSLockable> m_lockable;
};

template <typename T>
class KSDataLock {
public:
    KSDataLock() = default;
    explicit KSDataLock(boost::shared_ptr<T> target)
        : m_target(std::move(target)),
          m_lock(m_target ? boost::make_shared<KSDataLock<KSLockable>>(
                                boost::static_pointer_cast<KSLockable>(m_target))
                          : boost::shared_ptr<KSDataLock<KSLockable>>())
    {
    }

    T* operator->() const { return m_target.get(); }
    T& operator*() const { return *m_target; }
    const boost::shared_ptr<T>& Get() const { return m_target; }
    explicit operator bool() const { return static_cast<bool>(m_target); }

private:
    boost::shared_ptr<T> m_target;
    boost::shared_ptr<KSDataLock<KSLockable>> m_lock;
};

}  // namespace KestrinMIMEEngineCommon
