// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ZipError.h"

#include "fs/SafeOutput.h"

#include <QCoreApplication>

namespace kelmar {

int zipResultOfWrite(int systemError)
{
    return fs::writeFaultOf(systemError) == fs::WriteFault::DiskFull ? ZipDiskFull : ZipWriteError;
}

QString zipErrorMessage(int code)
{
    switch (code) {
    case ZipOk:
        return QStringLiteral("No error");
    case ZipFileNotFound:
        return QStringLiteral("File not found");
    case ZipNotAZip:
        return QStringLiteral("Not a zip archive");
    case ZipDamaged:
        return QStringLiteral("Damaged data or CRC error");
    case ZipPassword:
        return QStringLiteral("Wrong or missing password");
    case ZipUnsupported:
        return QStringLiteral("Unsupported compression or encryption method");
    case ZipReadError:
        return QStringLiteral("Read error");
    case ZipWriteError:
        return QStringLiteral("Write error");
    case ZipDiskFull:
        return QStringLiteral("Disk full");
    case ZipUnsafeEntry:
        return QStringLiteral("Unsafe entry refused");
    case ZipWouldBeEmpty:
        return QStringLiteral("The archive would be left empty");
    case ZipCannotOpen:
        return QStringLiteral("The archive could not be opened");
    case ZipExistsAndDiffers:
        return QStringLiteral("A different file of that name exists");
    case ZipNameTaken:
        return QStringLiteral("Entry name taken");
    case ZipAborted:
        return QStringLiteral("Stopped");
    default:
        return QStringLiteral("Unknown error %1").arg(code);
    }
}

} // namespace kelmar
