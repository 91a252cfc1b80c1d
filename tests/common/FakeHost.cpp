// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/FakeHost.h"

#include "browse/FileListModel.h"
#include "fs/FolderListing.h"
#include "fs/Path.h"
#include "names/NameOrder.h"
#include "names/basMain.h"

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>

namespace kelmar::test {

void FakeHost::setFiles(const QString& folder, const QStringList& names,
                        const std::vector<bool>& selected)
{
    m_folder = folder;
    m_names = names;
    m_selected = selected;
    m_selected.resize(names.size(), false);
}

void FakeHost::listFolder(const QString& folder, bool selectAll)
{
    // The program's own listing: Qt's skips names that are not UTF-8.
    QStringList names;
    fs::listFolderFiles(folder, &names);
    sortFileNames(names);
    setFiles(QDir::cleanPath(folder), names, std::vector<bool>(names.size(), selectAll));
}

void FakeHost::select(int position, bool on)
{
    m_selected.at(position) = on;
}

QString FakeHost::fullPath(int position) const
{
    return fs::withSeparator(m_folder) + m_names.at(position);
}

bool FakeHost::isSelectedArchive(int position) const
{
    return isSelected(position) && basMain::HasZipExtension(m_names.at(position));
}

void FakeHost::write_log(const QString& line)
{
    log.append(line);
    if (onLog)
        onLog(line);
}

MsgAnswer FakeHost::messageBox(const QString& text, const QString& title, MsgIcon, MsgButtons,
                               Question kind)
{
    questions.append(title + u'|' + text);
    kinds.push_back(kind);
    if (m_messageAnswers.empty()) {
        ADD_FAILURE() << "unexpected message box: " << title.toStdString() << ": "
                      << text.toStdString();
        return MsgAnswer::Cancel;
    }
    MsgAnswer answer = m_messageAnswers.front();
    m_messageAnswers.pop_front();
    return answer;
}

std::optional<QString> FakeHost::inputBox(const QString& prompt, const QString& title,
                                          const QString&)
{
    questions.append(title + u'|' + prompt);
    if (m_inputAnswers.empty()) {
        ADD_FAILURE() << "unexpected input box: " << title.toStdString();
        return std::nullopt;
    }
    QString text = m_inputAnswers.front().value_or(QString());
    bool given = m_inputAnswers.front().has_value();
    m_inputAnswers.pop_front();
    if (!given)
        return std::nullopt;
    return text;
}

} // namespace kelmar::test
