#pragma once
// A small file system of its own (tmpfs) mounted on a temporary folder, so that
// a test can fill it up and see what a full disk does. Mounting needs the right
// to mount; where it is missing, `skipReason` says why and the test skips.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace zep::test {

class SmallDisk {
public:
    explicit SmallDisk(const QString& where = {}, int kib = 256)
        : m_path(where.isEmpty() ? m_dir.path() : where)
    {
        const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0777";
        if (::mount("zeptest", m_path.toLocal8Bit().constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    options.constData()) != 0)
            skipReason = QStringLiteral("cannot mount a small file system here: ") + QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (skipReason.isEmpty())
            ::umount2(m_path.toLocal8Bit().constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const QString& path() const { return m_path; }

    // Writes a file "filler" until the disk takes no more; true when it is full.
    bool fill() const
    {
        const int fd = ::open((m_path + QStringLiteral("/filler")).toLocal8Bit().constData(),
                              O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd < 0)
            return false;
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(fd);
        return full;
    }

    QString skipReason;

private:
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace zep::test
