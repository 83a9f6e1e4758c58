#pragma once
// What the fuzz targets share: the input as Qt bytes, and a file holding it
// for readers that take only a path.
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace zep::fuzz {

inline QByteArray bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Writes the input to this process's own file in the temporary folder and
// returns its path (the caller removes it after use).
inline QString asFile(const std::uint8_t* data, std::size_t size)
{
    static const QString path = QDir::temp().filePath(QStringLiteral("zep-fuzz-%1").arg(QCoreApplication::applicationPid()));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes(data, size)) != qint64(size))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace zep::fuzz
