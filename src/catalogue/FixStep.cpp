// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/FixPlan.h"

#include "archive/ArchiveReplacement.h"
#include "archive/EntryName.h"
#include "archive/EntryReader.h"
#include "archive/ZipError.h"
#include "archive/ZipHandles.h"
#include "fs/NativeName.h"
#include "fs/Path.h"
#include "fs/RenameNoReplace.h"
#include "fs/SafeOutput.h"

#include <cerrno>

namespace kelmar::catalogue {

namespace {

// What the new archive must hold, in order.
struct Expected
{
    QString name;
    qint64 size;
    quint32 crc;
};

class StepWriter
{
public:
    StepWriter(const FixStep& step, QString* detail) : m_step(step), m_detail(*detail) {}
    int update();
    int create();

private:
    int fail(int code, const QString& detail)
    {
        if (m_detail.isEmpty())
            m_detail = detail;
        return code;
    }
    int libzipFailure(zip_t* archive, const QString& what)
    {
        QString detail;
        const int r = EntryReader::resultOf(zip_get_error(archive), what, &detail);
        return fail(r, detail);
    }
    int listOriginal();
    int apply(zip_t* target);
    int addCopy(zip_t* target, const EntryCopy& copy);
    int verify(const QByteArray& path);

    const FixStep& m_step;
    QString& m_detail;
    std::vector<Expected> m_expected;
    std::vector<ZipArchivePtr> m_sources; // open until the new archive is written
};

// The set's archive as it is, its entries under the names they will have.
int StepWriter::listOriginal()
{
    int code = 0;
    ZipArchivePtr archive(zip_open(fs::nativeName(m_step.archive).constData(), ZIP_RDONLY, &code));
    if (!archive)
        return fail(ZipCannotOpen, fs::fileNameOf(m_step.archive) +
                                       QStringLiteral(": cannot be opened (libzip error %1)").arg(code));
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive.get(), zip_uint64_t(i), 0, &st) != 0)
            return libzipFailure(archive.get(), fs::fileNameOf(m_step.archive));
        QString name = entryNameOf(archive.get(), zip_uint64_t(i));
        for (const EntryRename& r : m_step.renames) {
            if (r.index == zip_uint64_t(i)) {
                if (name != r.from)
                    return fail(ZipExistsAndDiffers, fs::printableName(name) +
                                                         QStringLiteral(": changed since it was read"));
                name = r.to;
            }
        }
        m_expected.push_back({name, qint64(st.size), st.crc});
    }
    return ZipOk;
}

// A ROM from another archive: its compressed bytes as they are, never recompressed.
int StepWriter::addCopy(zip_t* target, const EntryCopy& copy)
{
    const QString what = fs::printableName(copy.source);
    zip_source_t* source = nullptr;
    zip_stat_t st;
    zip_stat_init(&st);
    if (copy.fromArchive) {
        int code = 0;
        ZipArchivePtr from(zip_open(fs::nativeName(copy.source).constData(), ZIP_RDONLY, &code));
        if (!from)
            return fail(ZipCannotOpen, what + QStringLiteral(": cannot be opened (libzip error %1)").arg(code));
        if (zip_stat_index(from.get(), copy.index, 0, &st) != 0)
            return libzipFailure(from.get(), what);
        if (entryNameOf(from.get(), copy.index) != copy.sourceName || qint64(st.size) != copy.size ||
            st.crc != copy.crc)
            return fail(ZipExistsAndDiffers, what + u'/' + fs::printableName(copy.sourceName) +
                                                 QStringLiteral(": changed since it was read"));
        if (st.encryption_method != ZIP_EM_NONE)
            return fail(ZipPassword, what + u'/' + fs::printableName(copy.sourceName) +
                                         QStringLiteral(": encrypted entries are not gathered"));
        source = zip_source_zip(target, from.get(), copy.index, ZIP_FL_COMPRESSED, 0, -1);
        m_sources.push_back(std::move(from));
    } else {
        source = zip_source_file(target, fs::nativeName(copy.source).constData(), 0, -1);
    }
    if (!source)
        return libzipFailure(target, what);
    const zip_int64_t added = zip_file_add(target, copy.to.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
    if (added < 0) {
        zip_source_free(source);
        return libzipFailure(target, fs::printableName(copy.to));
    }
    if (copy.fromArchive) {
        if (zip_set_file_compression(target, zip_uint64_t(added), st.comp_method, 0) != 0)
            return libzipFailure(target, fs::printableName(copy.to));
        zip_file_set_mtime(target, zip_uint64_t(added), st.mtime, 0);
    }
    m_expected.push_back({copy.to, copy.size, copy.crc});
    return ZipOk;
}

int StepWriter::apply(zip_t* target)
{
    for (const EntryRename& r : m_step.renames) {
        if (zip_file_rename(target, r.index, r.to.toUtf8().constData(), ZIP_FL_ENC_UTF_8) != 0)
            return libzipFailure(target, fs::printableName(r.to));
    }
    for (const EntryCopy& c : m_step.copies) {
        if (const int r = addCopy(target, c); r != ZipOk)
            return r;
    }
    return ZipOk;
}

// Read back in full: every entry there, in order, under its name, with its size and CRC.
int StepWriter::verify(const QByteArray& path)
{
    int code = 0;
    const ZipArchivePtr owned(zip_open(path.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!owned)
        return fail(ZipDamaged, QStringLiteral("the new copy cannot be opened (libzip error %1)").arg(code));
    zip_t* copy = owned.get();
    if (zip_get_num_entries(copy, 0) != zip_int64_t(m_expected.size()))
        return fail(ZipDamaged, QStringLiteral("the new copy does not hold every entry"));
    for (size_t i = 0; i < m_expected.size(); ++i) {
        const Expected& e = m_expected[i];
        zip_stat_t st;
        if (zip_stat_index(copy, i, 0, &st) != 0 || entryNameOf(copy, i) != e.name ||
            qint64(st.size) != e.size || st.crc != e.crc)
            return fail(ZipDamaged, fs::printableName(e.name) + QStringLiteral(": the new copy differs"));
        if (e.name.endsWith(u'/'))
            continue;
        EntryReader reader(copy, i, QByteArray());
        const int r = reader.readAll();
        if (r != ZipOk && !zipResultIsUnjudged(r))
            return fail(r, reader.detail());
    }
    return ZipOk;
}

int StepWriter::update()
{
    if (const int r = listOriginal(); r != ZipOk)
        return r;
    ArchiveReplacement replacement(m_step.archive);
    if (const int r = replacement.begin(); r != ZipOk)
        return fail(r, replacement.detail());
    const QByteArray temp = replacement.tempPath();
    if (const int err = ArchiveReplacement::copyContent(fs::nativeName(replacement.path()), temp))
        return fail(zipResultOfWrite(err), fs::fileNameOf(m_step.archive) + QStringLiteral(": ") +
                                               fs::systemError(err));
    int code = 0;
    ZipArchivePtr target(zip_open(temp.constData(), 0, &code));
    if (!target)
        return fail(ZipWriteError, QStringLiteral("the copy cannot be opened (libzip error %1)").arg(code));
    if (const int r = apply(target.get()); r != ZipOk)
        return r;
    if (commitArchive(target) != 0)
        return libzipFailure(target.get(), fs::fileNameOf(m_step.archive) + QStringLiteral(" (new copy)"));
    m_sources.clear();
    if (const int r = replacement.flush(); r != ZipOk)
        return fail(r, replacement.detail());
    if (const int r = verify(temp); r != ZipOk)
        return r;
    if (const int r = replacement.commit(); r != ZipOk)
        return fail(r, replacement.detail());
    return ZipOk;
}

int StepWriter::create()
{
    fs::SafeOutput output(m_step.target, fs::SafeOutput::Form::WorkFile);
    if (const int err = output.begin())
        return fail(zipResultOfWrite(err), fs::fileNameOf(m_step.target) + QStringLiteral(": ") +
                                               fs::systemError(err));
    int code = 0;
    ZipArchivePtr target(zip_open(output.path().constData(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!target)
        return fail(ZipWriteError, QStringLiteral("the new archive cannot be made (libzip error %1)").arg(code));
    if (const int r = apply(target.get()); r != ZipOk)
        return r;
    if (commitArchive(target) != 0)
        return libzipFailure(target.get(), fs::fileNameOf(m_step.target));
    m_sources.clear();
    int err = output.flush();
    if (err != 0)
        return fail(zipResultOfWrite(err), fs::fileNameOf(m_step.target) + QStringLiteral(": ") +
                                               fs::systemError(err));
    if (const int r = verify(output.path()); r != ZipOk)
        return r;
    err = output.commitNew(true);
    if (err == EEXIST)
        return fail(ZipNameTaken, fs::printableName(m_step.target) + QStringLiteral(": the name is taken"));
    if (err != 0 && !output.committed())
        return fail(zipResultOfWrite(err), fs::fileNameOf(m_step.target) + QStringLiteral(": ") +
                                               fs::systemError(err));
    return ZipOk;
}

} // namespace

int runFixStep(const FixStep& step, QString* detail)
{
    detail->clear();
    switch (step.kind) {
    case FixStep::Kind::RenameArchive:
        if (!fs::renameNoReplace(step.archive, step.target, detail))
            return errno == EEXIST ? ZipNameTaken : ZipWriteError;
        return ZipOk;
    case FixStep::Kind::UpdateArchive:
        return StepWriter(step, detail).update();
    case FixStep::Kind::CreateArchive:
        return StepWriter(step, detail).create();
    }
    return ZipOk;
}

} // namespace kelmar::catalogue
