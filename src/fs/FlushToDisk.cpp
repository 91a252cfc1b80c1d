#include "fs/FlushToDisk.h"

#include "fs/FdGuard.h"
#include "fs/NativeName.h"

#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kelmar::fs {

namespace {

int flushOne(const QByteArray& path, int flags)
{
    const FdGuard fd(::open(path.constData(), flags | O_CLOEXEC));
    if (!fd)
        return errno;
    return ::fsync(fd.get()) != 0 ? errno : 0;
}

} // namespace

int flushFileAndFolder(const QString& path)
{
    if (const int error = flushOne(nativeName(path), O_RDONLY))
        return error;
    return flushOne(nativeName(QFileInfo(path).absolutePath()), O_RDONLY | O_DIRECTORY);
}

} // namespace kelmar::fs
