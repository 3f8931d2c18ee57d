// CiAutoLockMutex: holds a port's recursive lock for the life of one port
// operation.  The port re-enters its own lock (an open closes the previous
// link and writes monitor records under the same lock), so the lock it is
// given must be recursive.
#pragma once

#include <mutex>

class CiAutoLockMutex {
  public:
    explicit CiAutoLockMutex(std::recursive_mutex* lock) : lock_(lock) { lock_->lock(); }
    virtual ~CiAutoLockMutex() { lock_->unlock(); }
    CiAutoLockMutex(const CiAutoLockMutex&) = delete;
    CiAutoLockMutex& operator=(const CiAutoLockMutex&) = delete;

  private:
    std::recursive_mutex* lock_;
};
