// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliHost.h"

#include "fs/NativeName.h"

#include <QFileDevice>

namespace kelmar::cli {

CliHost::CliHost(const std::atomic<bool>& interrupted, QTextStream& out, QTextStream& err,
                 bool echoLog)
    : m_interrupted(interrupted), m_out(out), m_err(err), m_echoLog(echoLog)
{
}

void CliHost::write_log(const QString& line)
{
    if (!m_echoLog || m_outputGone)
        return;
    m_out << fs::displayName(line) << '\n';
    m_out.flush();
    // A closed stdout (the reader went away) ends the printing, not the batch: what could not
    // be written would only pile up.
    const auto* file = qobject_cast<const QFileDevice*>(m_out.device());
    m_outputGone =
        m_out.status() != QTextStream::Ok || (file && file->error() != QFileDevice::NoError);
}

MsgAnswer CliHost::messageBox(const QString& text, const QString& title, MsgIcon,
                              MsgButtons buttons, Question kind)
{
    QString flat = text;
    flat.replace(u'\r', u' ');
    m_err << title << ": " << flat << '\n';
    m_err.flush();
    if (questions) {
        if (const std::optional<MsgAnswer> answer = questions(kind, buttons))
            return *answer;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgAnswer::No;
    case MsgButtons::AbortRetryIgnore:
        return MsgAnswer::Abort;
    default:
        return MsgAnswer::Cancel;
    }
}

} // namespace kelmar::cli
