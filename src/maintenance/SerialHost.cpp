#include "maintenance/SerialHost.h"

namespace kelmar {

void SerialHost::write_log(const QString& line)
{
    if (m_log) {
        m_log->append(line);
        return;
    }
    locked([&] { m_host.write_log(line); });
}

void SerialHost::clear_log()
{
    locked([&] { m_host.clear_log(); });
}

void SerialHost::setStatusText(const QString& text)
{
    locked([&] { m_host.setStatusText(text); });
}

void SerialHost::showCreditLine()
{
    locked([&] { m_host.showCreditLine(); });
}

void SerialHost::protect_form()
{
    locked([&] { m_host.protect_form(); });
}

void SerialHost::release_form()
{
    locked([&] { m_host.release_form(); });
}

void SerialHost::requestStop()
{
    locked([&] { m_host.requestStop(); });
}

MsgAnswer SerialHost::messageBox(const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons, Question kind)
{
    return locked([&] { return m_host.messageBox(text, title, icon, buttons, kind); });
}

std::optional<QString> SerialHost::browseForFolder(const QString& title)
{
    return locked([&] { return m_host.browseForFolder(title); });
}

std::optional<QString> SerialHost::saveFileName(const QString& title, const QString& filter,
                                                const QString& initialName)
{
    return locked([&] { return m_host.saveFileName(title, filter, initialName); });
}

std::optional<QString> SerialHost::inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText)
{
    return locked([&] { return m_host.inputBox(prompt, title, defaultText); });
}

void SerialHost::beep()
{
    locked([&] { m_host.beep(); });
}

void SerialHost::refresh()
{
    locked([&] { m_host.refresh(); });
}

void SerialHost::update_count()
{
    locked([&] { m_host.update_count(); });
}

void SerialHost::refreshTree()
{
    locked([&] { m_host.refreshTree(); });
}

void SerialHost::endProgram()
{
    locked([&] { m_host.endProgram(); });
}

} // namespace kelmar
