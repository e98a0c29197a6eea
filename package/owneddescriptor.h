// An open file descriptor with one owner.
#pragma once

#include <unistd.h>

/// Owns a descriptor and closes it on destruction; -1 holds nothing.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int fd = -1) : m_fd(fd) {}
    ~OwnedDescriptor() { reset(); }
    OwnedDescriptor(const OwnedDescriptor &) = delete;
    OwnedDescriptor &operator=(const OwnedDescriptor &) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    /// Closes what is held and takes `fd` instead.
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    /// Hands the descriptor over without closing it; -1 is held afterwards.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    /// Closes now and answers whether close succeeded (false when nothing
    /// was held), for writers whose last error shows only there.
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd;
};
