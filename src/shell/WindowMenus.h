// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace kelmar {

// The file list's pop-up menu ("Options") and the folder tree's ("Folders"). An entry that
// runs an operation is enabled only while that operation is registered; the file list's
// entries also need a selection.
class WindowMenus : public QObject
{
    Q_OBJECT
public:
    struct Commands
    {
        std::function<void(const QString& operationName)> run;
        std::function<bool(const QString& operationName)> has;
        std::function<void()> selectAll, selectNone, selectReverse, refresh;
        std::function<void()> addFavorite, removeFavorite;
    };

    WindowMenus(QWidget* owner, Commands commands);

    // The main commands' keys (F5, Ctrl+T, ...), as the menus show them, reach the commands
    // anywhere in window; Delete only while the keyboard is in fileList (a text box keeps
    // its own Delete key).
    void bindShortcuts(QWidget* window, QWidget* fileList);

    QMenu* options() const { return menOptions; }
    QMenu* folders() const { return menFolders; }

    // Enables the Options menu's entries for a selection (any) or none.
    void prepareOptions(bool anySelected);
    // Names the tree's folder in the Folders menu; offers to add or to remove it.
    void prepareFolders(const QString& folderName, bool isFavourite);

private:
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption,
                        const QString& operationName = QString());
    QAction* addHandler(QMenu* menu, const char* name, const QString& caption,
                        const std::function<void()>& handler);
    void buildOptions(QWidget* owner);
    void buildFolders(QWidget* owner);

    Commands m_run;
    QMenu* menOptions = nullptr;
    QMenu* menFolders = nullptr;
    QAction* m_addFavorite = nullptr;
    QAction* m_removeFavorite = nullptr;
    QList<QAction*> m_fileActions;       // enabled only with a selection
    QList<QAction*> m_shortcutActions;   // reached by their keys when the menu is closed
    QHash<QAction*, QString> m_commands; // entry -> operation name
};

} // namespace kelmar
