// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fs/FdGuard.h"
#include "fs/PathStatus.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace kelmar::fs {

// What a failed write means to the user, by the system's error. Every writer words its
// failures from this one reading; the archive layer turns it into its result codes in one
// place (zipResultOfWrite in archive/ZipError.h).
enum class WriteFault {
    None,         // 0
    DiskFull,     // ENOSPC, EDQUOT: no space left, or the quota is used up
    FileTooLarge, // EFBIG: past a file-size limit (ulimit -f) or the file system's own
    Permission,   // EACCES, EPERM
    ReadOnly,     // EROFS
    Other,
};
WriteFault writeFaultOf(int systemError);

// Writes all size bytes at data to fd, a write the kernel interrupts taken up again. 0 or
// errno (EIO when the file takes no more).
int writeAll(int fd, const char* data, qint64 size);

// fsync of the file, or of the folder, at a native path. 0 or errno.
int flushFile(const QByteArray& nativePath);
int flushFolder(const QByteArray& nativeFolder);
// The file at path, then the folder that holds its name: until then a crash may leave the
// name without the bytes. 0 or errno.
int flushFileAndFolder(const QString& path);
// One call that flushes the whole file system holding folder. 0 or errno.
int syncFileSystemOf(const QString& folder);

// Files written one after another and flushed together: each file, then each folder that
// holds one of them once, however many of them it holds.
class FlushGroup
{
public:
    void add(const QString& path) { m_files.append(path); }
    bool isEmpty() const { return m_files.isEmpty(); }
    // 0, or the first errno; *failedPath (when given) then says which file or folder. The
    // group is empty afterwards either way.
    int flush(QString* failedPath = nullptr);

private:
    QStringList m_files;
};

// A file written in safety: under a private temporary name in its target's folder
// (KelmarTemp.h), so the target never holds anything but a complete file, and given the
// target's name in one atomic rename only once it is complete. Whatever was not committed is
// removed when the object goes.
class SafeOutput
{
public:
    enum class Form {
        // The temporary file itself is written, through fd().
        Direct,
        // Another writer (libzip) writes path(), a file it may replace with its own; the
        // locked temporary file beside it only tells a later run that it is still in use.
        WorkFile,
    };
    // What commitReplacing returns when the target is no longer the file it was.
    static constexpr int kTargetChanged = -1;

    explicit SafeOutput(const QString& target, Form form = Form::Direct);
    ~SafeOutput();
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;

    // Creates the temporary file. 0 or errno.
    int begin();
    // Direct: the descriptor to write through, until finishWriting.
    int fd() const { return m_output.get(); }
    // The native path of what is written.
    const QByteArray& path() const { return m_form == Form::Direct ? m_claim : m_work; }
    const QString& target() const { return m_target; }

    // Direct: closes the descriptor written through, where a write the kernel deferred can
    // still fail; the file stays locked. 0 or errno.
    int finishWriting();
    // The content to disk. 0 or errno.
    int flush();
    // Gives the file the target's name, with the mode the kernel gave it when it was created
    // (0666 less the umask), unless something bears that name already: EEXIST then, and
    // nothing is replaced. The folder is flushed when asked (else see FlushGroup). 0 or errno;
    // an errno after the rename is the folder flush's, and committed() is true then.
    int commitNew(bool flushFolderNow);
    // Puts the file in the place of the target, which must still be the file `before`
    // describes (kTargetChanged when it is not), with its permissions and, where the system
    // allows, its owner; the folder is flushed. 0, kTargetChanged or errno, as commitNew.
    int commitReplacing(const PathStatus& before);
    // True once the file bears the target's name.
    bool committed() const { return m_committed; }
    // Removes what was written; the target stays as it was.
    void discard();

private:
    QString m_target;
    QByteArray m_nativeTarget;
    Form m_form;
    QByteArray m_claim; // the locked temporary file
    QByteArray m_work;  // WorkFile: the file beside it
    FdGuard m_output;   // Direct: written through
    FdGuard m_lock;     // holds the claim's lock
    mode_t m_createdMode = 0644;
    bool m_committed = false;
};

} // namespace kelmar::fs
