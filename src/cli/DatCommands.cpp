// SPDX-License-Identifier: GPL-3.0-or-later
// kelmar-cli dat: a collection checked against a DAT catalogue (Logiqx XML or the
// clrmamepro text form): its catalogues described, verified, fixed, and what it lacks written.
#include "catalogue/CatalogueReader.h"
#include "catalogue/Fixdat.h"
#include "cli/CliHost.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/OptionTable.h"
#include "fs/NativeName.h"
#include "fs/NativePath.h"
#include "fs/Path.h"
#include "fs/PathStatus.h"
#include "maintenance/DatBatches.h"

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace kelmar::cli {

using namespace catalogue;


namespace {

struct DatArgs
{
    QString dat;
    QString out;
    MatchHash hash = MatchHash::Crc;
    bool json = false;
    bool dryRun = false;
    bool yes = false;
    QString moveTo;
    QStringList paths;
};

OptionTable datOptions(DatArgs& a)
{
    return {
        cliValue(QStringLiteral("--dat"), QStringLiteral("--dat needs a catalogue"),
                 [&a](const QString& v) {
                     a.dat = v;
                     return QString();
                 })
            .described(QStringLiteral("DAT"),
                       QStringLiteral("verify, fix, fixdat, clean: the catalogue.")),
        cliValue(QStringLiteral("--hash"), QStringLiteral("--hash needs crc or sha1"),
                 [&a](const QString& v) {
                     if (v != u"crc" && v != u"sha1")
                         return QStringLiteral("--hash takes crc or sha1, not '%1'").arg(v);
                     a.hash = v == u"sha1" ? MatchHash::Sha1 : MatchHash::Crc;
                     return QString();
                 })
            .described(QStringLiteral("crc|sha1"),
                       QStringLiteral("verify, fix, fixdat, clean: match by size and CRC-32 "
                                      "from the archives' directories (crc, the default), or "
                                      "read every entry in full and match by SHA-1 where the "
                                      "catalogue gives one.")),
        cliSwitch({QStringLiteral("--json")}, [&a] { a.json = true; })
            .described(QStringLiteral(
                R"(info: {"name", "version", "sets", "roms", "disks"} for each catalogue (an array when there are several). verify: {"summary": {"complete", "fixable", "incomplete", "missing", "unknown"}, "sets": [{"name", "status", "roms": [{"name", "state": "ok"|"misnamed"|"elsewhere"|"missing"|"damaged", "found": PATH|null}]}], "unknown": [PATH...]}, an entry's PATH being ARCHIVE/ENTRY.)")),
        cliSwitch({QStringLiteral("--dry-run")}, [&a] { a.dryRun = true; })
            .described(QStringLiteral("fix: print the plan and change nothing.")),
        cliValue(QStringLiteral("--out"), QStringLiteral("--out needs a file"),
                 [&a](const QString& v) {
                     a.out = v;
                     return QString();
                 })
            .described(QStringLiteral("FILE"),
                       QStringLiteral("fixdat: the catalogue to write; it must not exist, and "
                                      "is never replaced.")),
        cliValue(QStringLiteral("--move-to"), QStringLiteral("--move-to needs a folder"),
                 [&a](const QString& v) {
                     a.moveTo = v;
                     return QString();
                 })
            .described(QStringLiteral("DIR"), QStringLiteral("clean: the folder the unknown "
                                                             "files go to (it must exist).")),
        cliSwitch({QStringLiteral("-y"), QStringLiteral("--yes")}, [&a] { a.yes = true; })
            .described(QStringLiteral("clean: move without asking (needed when not run from a "
                                      "terminal).")),
    };
}

bool parseDatArgs(const QStringList& args, const char* command, DatArgs& a, QTextStream& err)
{
    return parseOptions(args, command, datOptions(a), &a.paths, err);
}

std::shared_ptr<const Catalogue> loadOrSay(const QString& path, QTextStream& err)
{
    QString error;
    std::optional<Catalogue> c = loadCatalogue(path, &error);
    if (!c) {
        err << "kelmar-cli: " << fs::printableName(error) << '\n';
        err.flush();
        return nullptr;
    }
    return std::make_shared<const Catalogue>(std::move(*c));
}

int runInfo(const DatArgs& a, QTextStream& out, QTextStream& err)
{
    if (a.paths.isEmpty())
        return usage(err, QStringLiteral("dat info needs at least one catalogue"));
    QByteArrayList objects;
    int failed = 0;
    for (const QString& path : a.paths) {
        const std::shared_ptr<const Catalogue> c = loadOrSay(path, err);
        if (!c) {
            ++failed;
            continue;
        }
        if (a.json) {
            objects.append("{\"name\": " + jsonString(c->header.name) + ", \"version\": " +
                           jsonString(c->header.version) + ", \"sets\": " +
                           QByteArray::number(qulonglong(c->sets.size())) + ", \"roms\": " +
                           QByteArray::number(c->romCount()) + ", \"disks\": " +
                           QByteArray::number(c->diskCount()) + "}");
        } else {
            out << fs::printableName(path) << ":\n  name: " << c->header.name
                << "\n  version: " << c->header.version << "\n  sets: " << c->sets.size()
                << "\n  roms: " << c->romCount() << "\n  disks: " << c->diskCount() << '\n';
        }
    }
    if (a.json) {
        if (a.paths.size() == 1 && objects.size() == 1)
            out << objects.first() << '\n';
        else
            out << "[\n    " << objects.join(",\n    ") << (objects.isEmpty() ? "]\n" : "\n]\n");
    }
    out.flush();
    return failed > 0 ? kExitBad : kExitGood;
}

// The request of a verify, fix or fixdat; false after the usage error.
bool prepare(const DatArgs& a, const char* what, const Context& context, DatRequest& request,
             QTextStream& err, int* status)
{
    if (a.dat.isEmpty()) {
        *status = usage(err, QStringLiteral("dat %1 needs --dat DAT").arg(QLatin1String(what)));
        return false;
    }
    if (a.paths.isEmpty()) {
        *status = usage(err, QStringLiteral("dat %1 needs at least one folder or file")
                                 .arg(QLatin1String(what)));
        return false;
    }
    request.catalogue = loadOrSay(a.dat, err);
    if (!request.catalogue) {
        *status = kExitBad;
        return false;
    }
    request.roots = a.paths;
    request.hash = a.hash;
    request.dryRun = a.dryRun;
    request.moveTo = a.moveTo;
    request.workers = context.jobs;
    return true;
}

// What could not be read, on stderr; true when there was any.
bool sayFaults(const DatOutcome& o, QTextStream& err)
{
    for (const QString& root : o.missingRoots)
        err << "kelmar-cli: '" << fs::printableName(root) << "' does not exist\n";
    for (int i : o.verification.unreadable) {
        const ScannedItem& item = o.scan[size_t(i)];
        err << "kelmar-cli: " << fs::printableName(item.path) << " could not be read ("
            << fs::printableName(item.error) << ")\n";
    }
    err.flush();
    return !o.missingRoots.isEmpty() || !o.verification.unreadable.empty();
}

void printReport(const Catalogue& c, const DatOutcome& o, QTextStream& out)
{
    for (size_t s = 0; s < c.sets.size(); ++s) {
        const SetCheck& check = o.verification.sets[s];
        if (check.status == SetStatus::Complete)
            continue;
        out << setStatusName(check.status) << ": " << c.sets[s].name << '\n';
        for (size_t r = 0; r < check.roms.size(); ++r) {
            const RomCheck& rc = check.roms[r];
            if (rc.state == RomState::Ok || rc.state == RomState::NoDump)
                continue;
            out << "  " << romStateName(rc.state) << ": " << c.sets[s].roms[r].name;
            if (rc.found.valid())
                out << " (" << fs::printableName(foundPath(o.scan, rc.found)) << ')';
            out << '\n';
        }
    }
    for (const FileRef& ref : o.verification.unknown)
        out << "unknown: " << fs::printableName(foundPath(o.scan, ref)) << '\n';
    out << datSummary(o.verification.counts) << '\n';
    out.flush();
}

int runVerify(const DatArgs& a, const Context& context, QTextStream& out, QTextStream& err)
{
    DatRequest request;
    int status = kExitGood;
    if (!prepare(a, "verify", context, request, err, &status))
        return status;
    installInterruptHandler();
    QString swallowed;
    QTextStream quiet(&swallowed);
    CliHost host(interruptFlag(), quiet, err, false);
    const DatOutcome o = dat_verify(request, host, host);
    const bool faults = sayFaults(o, err);
    if (a.json) {
        out << verificationJson(*request.catalogue, o.scan, o.verification);
        out.flush();
    } else {
        printReport(*request.catalogue, o, out);
    }
    if (o.report.stopped())
        return batchExitStatus(int(faults), true);
    return faults || !o.verification.allComplete() ? kExitBad : kExitGood;
}

int runFix(const DatArgs& a, const Context& context, QTextStream& out, QTextStream& err)
{
    DatRequest request;
    int status = kExitGood;
    if (!prepare(a, "fix", context, request, err, &status))
        return status;
    installInterruptHandler();
    CliHost host(interruptFlag(), out, err, true);
    const DatOutcome o = dat_fix(request, host, host);
    const bool faults = sayFaults(o, err);
    if (request.dryRun) {
        for (const QString& line : describePlan(o.plan))
            out << line << '\n';
        out.flush();
    }
    return batchExitStatus(int(faults) + o.report.failedCount(), o.report.stopped());
}

int runFixdat(const DatArgs& a, const Context& context, QTextStream& out, QTextStream& err)
{
    if (a.out.isEmpty())
        return usage(err, QStringLiteral("dat fixdat needs --out FILE"));
    DatRequest request;
    int status = kExitGood;
    if (!prepare(a, "fixdat", context, request, err, &status))
        return status;
    if (fs::statOf(a.out, fs::Links::DoNotFollow)) {
        err << "kelmar-cli: '" << fs::printableName(a.out) << "' exists; fixdat never replaces a file\n";
        err.flush();
        return kExitBad;
    }
    installInterruptHandler();
    QString swallowed;
    QTextStream quiet(&swallowed);
    CliHost host(interruptFlag(), quiet, err, false);
    const DatOutcome o = dat_verify(request, host, host);
    const bool faults = sayFaults(o, err);
    if (o.report.stopped())
        return batchExitStatus(int(faults), true); // nothing written
    const int err2 = writeNewFile(a.out, fixdatXml(*request.catalogue, o.verification));
    if (err2 != 0) {
        err << "kelmar-cli: " << fs::printableName(a.out) << ": " << fs::systemError(err2) << '\n';
        err.flush();
        return kExitBad;
    }
    const int roms = fixdatRomCount(*request.catalogue, o.verification);
    out << roms << (roms == 1 ? " missing ROM" : " missing ROMs") << " written to "
        << fs::printableName(a.out) << '\n';
    out.flush();
    return faults ? kExitBad : kExitGood;
}

int runClean(const DatArgs& a, const Context& context, QTextStream& out, QTextStream& err)
{
    if (!a.moveTo.isEmpty() && !fs::isFolderPath(a.moveTo))
        return usage(err, QStringLiteral("--move-to needs an existing folder"));
    DatRequest request;
    int status = kExitGood;
    if (!prepare(a, "clean", context, request, err, &status))
        return status;
    if (!a.moveTo.isEmpty() && !a.yes) {
        if (::isatty(STDIN_FILENO) == 0)
            return usage(err, QStringLiteral("dat clean asks before moving; give --yes when "
                                             "not run from a terminal"));
        err << "Move every file that matches nothing in the catalogue to "
            << fs::printableName(a.moveTo) << "? [y/N] ";
        err.flush();
        char line[64] = {};
        if (!std::fgets(line, sizeof line, stdin) || (line[0] != 'y' && line[0] != 'Y'))
            return kExitGood;
    }
    installInterruptHandler();
    QString swallowed;
    QTextStream quiet(&swallowed);
    CliHost host(interruptFlag(), a.moveTo.isEmpty() ? quiet : out, err, !a.moveTo.isEmpty());
    const DatOutcome o = dat_clean(request, host, host);
    const bool faults = sayFaults(o, err);
    if (a.moveTo.isEmpty()) {
        for (const FileRef& ref : o.verification.unknown)
            out << fs::printableName(foundPath(o.scan, ref)) << '\n';
        out.flush();
    }
    return batchExitStatus(int(faults) + o.report.failedCount(), o.report.stopped());
}

} // namespace

CommandHelp datHelp()
{
    static DatArgs arguments;
    CommandHelp help;
    help.summary = QStringLiteral(
        "Check a collection against a DAT catalogue (Logiqx XML, as No-Intro, Redump, MAME and "
        "TOSEC publish, or the clrmamepro text form; told apart by content). A set is complete "
        "when every ROM is in the archive named after it (SET.zip) under the catalogue's name, "
        "with the size and CRC-32 (or SHA-1) the catalogue gives; fixable when every ROM is "
        "there but some under another name or in another archive; incomplete when some are "
        "missing or damaged (the name and size, another CRC); missing when none is found. "
        "Files and entries matching no ROM are unknown. Loose files count too (a folder named "
        "after the set holds its ROMs). Disks are listed apart and never looked for; ROMs "
        "marked nodump are never missing.");
    help.before = {
        {QStringLiteral("Sub-commands of dat:"),
         {{QStringLiteral("dat info DAT..."),
           QStringLiteral("Name, version and numbers of sets, ROMs and disks.")},
          {QStringLiteral("dat verify PATH..."),
           QStringLiteral("Judge every set, and list the unknown files.")},
          {QStringLiteral("dat fix PATH..."),
           QStringLiteral("Rename archives named after no set to the set whose ROMs they hold, "
                          "rename entries to the catalogue's names, and copy ROMs found "
                          "elsewhere into their set's archive (their compressed bytes as they "
                          "are; the archive is made where the first of them lies when the set "
                          "has none). Each archive is rebuilt beside itself, read back, then "
                          "put in place. Nothing is deleted or replaced: a name that is taken "
                          "is reported and left alone.")},
          {QStringLiteral("dat fixdat PATH..."),
           QStringLiteral("Write a Logiqx XML catalogue of exactly the ROMs the collection "
                          "lacks (missing or damaged).")},
          {QStringLiteral("dat clean PATH..."),
           QStringLiteral("List the files and entries that match nothing in the catalogue; "
                          "with --move-to, move such files (whole archives and loose files) "
                          "into that folder. Entries of archives that hold ROMs too are only "
                          "listed. Nothing is deleted or replaced; a move to another file "
                          "system is refused.")}},
         QString()},
        {QStringLiteral("Arguments of dat:"),
         {{QStringLiteral("PATH"),
           QStringLiteral("A folder (searched with its sub-folders; links to folders are not "
                          "followed; hidden files are left out), an archive or a loose file.")}},
         QString()}};
    help.optionsHeading = QStringLiteral("Options of dat:");
    help.options = datOptions(arguments);
    help.after = {exitStatus(
        "dat",
        {{QStringLiteral("0"), QStringLiteral("verify: every set is complete; fix: every step "
                                              "done; clean: every file moved; info, fixdat: "
                                              "done")},
         {QStringLiteral("1"), QStringLiteral("verify: a set is not complete; fix, clean: a "
                                              "step failed; a catalogue or a file could not be "
                                              "read, or a PATH does not exist")},
         {QStringLiteral("2"), QStringLiteral("usage error (unknown option or sub-command, no "
                                              "--dat, no PATH)")},
         {QStringLiteral("3"), QStringLiteral("stopped (Ctrl+C) with nothing failed before; "
                                              "fixdat writes nothing then")}})};
    return help;
}

int runDat(const QStringList& args, const Context& context, QTextStream& out, QTextStream& err)
{
    if (args.isEmpty())
        return usage(err, QStringLiteral("dat needs a sub-command: info, verify, fix, fixdat or clean"));
    const QString sub = args.first();
    DatArgs a;
    const QByteArray command = "dat " + sub.toUtf8();
    if (sub != u"info" && sub != u"verify" && sub != u"fix" && sub != u"fixdat" && sub != u"clean")
        return usage(err, QStringLiteral("unknown dat sub-command '%1'").arg(sub));
    if (!parseDatArgs(args.mid(1), command.constData(), a, err))
        return kExitUsage;
    if (sub == u"info")
        return runInfo(a, out, err);
    if (sub == u"verify")
        return runVerify(a, context, out, err);
    if (sub == u"fix")
        return runFix(a, context, out, err);
    if (sub == u"clean")
        return runClean(a, context, out, err);
    return runFixdat(a, context, out, err);
}

} // namespace kelmar::cli
