// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/WindowMenus.h"

#include "shell/Widgets.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace kelmar {

using widgets::named;

WindowMenus::WindowMenus(QWidget* owner, Commands commands)
    : QObject(owner), m_run(std::move(commands))
{
    buildOptions(owner);
    buildFolders(owner);
}

QAction* WindowMenus::addCommand(QMenu* menu, const char* name, const QString& caption,
                                 const QString& operationName)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (!operationName.isEmpty()) {
        m_commands.insert(action, operationName);
        connect(action, &QAction::triggered, this,
                [this, operationName] { m_run.run(operationName); });
    }
    return action;
}

QAction* WindowMenus::addHandler(QMenu* menu, const char* name, const QString& caption,
                                 const std::function<void()>& handler)
{
    QAction* action = addCommand(menu, name, caption);
    connect(action, &QAction::triggered, this, [handler] { handler(); });
    return action;
}

void WindowMenus::buildOptions(QWidget* owner)
{
    auto separator = [](QMenu* menu, const char* name) {
        menu->addSeparator()->setObjectName(QLatin1String(name));
    };

    menOptions = named(new QMenu(QStringLiteral("Options"), owner), "menOptions");
    m_fileActions << addCommand(menOptions, "menOptionsDelete", QStringLiteral("Delete"),
                                QStringLiteral("delete_files"))
                  << addCommand(menOptions, "menOptionsRemoveNonROMsFromZips",
                                QStringLiteral("Remove Non-ROMs From Zips"),
                                QStringLiteral("remove_non_roms_from_zips"));
    separator(menOptions, "menOptionsB1");
    m_fileActions << addCommand(menOptions, "menOptionsZip", QStringLiteral("Zip"),
                                QStringLiteral("zip_files"))
                  << addCommand(menOptions, "menOptionsUnzip", QStringLiteral("Unzip"),
                                QStringLiteral("unzip_files"))
                  << addCommand(menOptions, "menOptionsReZip", QStringLiteral("ReZip"),
                                QStringLiteral("rezip_files"))
                  << addCommand(menOptions, "menOptionsTestZips", QStringLiteral("Test Zips"),
                                QStringLiteral("test_zip_files"))
                  << addCommand(menOptions, "menOptionsCalculateSpaceInZips",
                                QStringLiteral("Calculate Space in Zips"),
                                QStringLiteral("calculate_space"))
                  << addCommand(menOptions, "menOptionsChangeAttributes",
                                QStringLiteral("Change Zipped Files' Attributes"),
                                QStringLiteral("change_attributes"));
    separator(menOptions, "menOptionsB2");

    QMenu* select = named(menOptions->addMenu(QStringLiteral("Select")), "menOptionsSelect");
    select->menuAction()->setObjectName(QStringLiteral("menOptionsSelect"));
    addHandler(select, "menOptionsSelectAll", QStringLiteral("All"), m_run.selectAll);
    addHandler(select, "menOptionsSelectNone", QStringLiteral("None"), m_run.selectNone);
    addHandler(select, "menOptionsSelectReverse", QStringLiteral("Reverse"), m_run.selectReverse);

    QMenu* rename = named(menOptions->addMenu(QStringLiteral("Rename")), "menRename");
    rename->menuAction()->setObjectName(QStringLiteral("menRename"));
    m_fileActions << rename->menuAction();
    m_fileActions << addCommand(rename, "menOptionsRenameCapitalCase",
                                QStringLiteral("to Capital Case"),
                                QStringLiteral("to_capital_case"))
                  << addCommand(rename, "menOptionsRenameLowerCase",
                                QStringLiteral("to lower case"), QStringLiteral("to_lower_case"))
                  << addCommand(rename, "menOptionsRenameUpperCase",
                                QStringLiteral("to UPPER CASE"), QStringLiteral("to_upper_case"));
    separator(rename, "menOptionsRenameB3");
    m_fileActions << addCommand(rename, "menOptionsRenameInsertSpaces",
                                QStringLiteral("Insert Spaces"), QStringLiteral("insert_spaces"))
                  << addCommand(rename, "menOptionsRenameRemoveSpaces",
                                QStringLiteral("Remove Spaces"), QStringLiteral("remove_spaces"));
    separator(rename, "menOptionsRenameB1");
    m_fileActions << addCommand(rename, "menOptionsRenameManually", QStringLiteral("Manually..."),
                                QStringLiteral("to_manual_name"))
                  << addCommand(rename, "menOptionsRenameFindAndReplace",
                                QStringLiteral("Find and Replace..."),
                                QStringLiteral("find_and_replace"));
    separator(rename, "menOptionsRenameB2");
    m_fileActions << addCommand(rename, "menOptionsRenameToZippedFilename",
                                QStringLiteral("to Zipped Filename"),
                                QStringLiteral("to_zip_filename"));
    separator(menOptions, "menOptionsB3");
    addHandler(menOptions, "menOptionsRefresh", QStringLiteral("Refresh"), m_run.refresh);
    // Choosing "Cancel" only closes the menu.
    addCommand(menOptions, "menOptionsCancel", QStringLiteral("Cancel"));
}

void WindowMenus::buildFolders(QWidget* owner)
{
    menFolders = named(new QMenu(QStringLiteral("Folders"), owner), "menFolders");
    m_addFavorite = addHandler(menFolders, "menFoldersAddToFavorites",
                               QStringLiteral("Add to Favorites"), m_run.addFavorite);
    m_removeFavorite = addHandler(menFolders, "menFoldersRemoveFromFavorites",
                                  QStringLiteral("Remove from Favorites"), m_run.removeFavorite);
    addCommand(menFolders, "menFoldersConvertSubFoldersToZips",
               QStringLiteral("&Convert Sub Folders to Zips..."),
               QStringLiteral("convert_sub_folders_to_zips"));
}

void WindowMenus::bindShortcuts(QWidget* window, QWidget* fileList)
{
    const struct
    {
        const char* name;
        QKeySequence keys;
    } keys[] = {
        {"menOptionsRefresh", QKeySequence(Qt::Key_F5)},
        {"menOptionsDelete", QKeySequence(Qt::Key_Delete)},
        {"menOptionsTestZips", QKeySequence(Qt::CTRL | Qt::Key_T)},
        {"menOptionsZip", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {"menOptionsUnzip", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U)},
        {"menOptionsReZip", QKeySequence(Qt::CTRL | Qt::Key_R)},
    };
    for (const auto& key : keys) {
        QAction* action = menOptions->findChild<QAction*>(QLatin1String(key.name));
        if (!action)
            continue;
        action->setShortcut(key.keys);
        const bool listOnly = key.keys == QKeySequence(Qt::Key_Delete);
        action->setShortcutContext(listOnly ? Qt::WidgetWithChildrenShortcut
                                            : Qt::WindowShortcut);
        (listOnly ? fileList : window)->addAction(action);
        m_shortcutActions.append(action);
    }
    // A menu opened with nothing selected greys its entries; the keys work again once it
    // has closed (a command with nothing selected says so itself).
    connect(menOptions, &QMenu::aboutToHide, this, [this] {
        for (QAction* action : std::as_const(m_shortcutActions)) {
            const QString operation = m_commands.value(action);
            action->setEnabled(operation.isEmpty() || m_run.has(operation));
        }
    });
}

void WindowMenus::prepareOptions(bool anySelected)
{
    for (QAction* action : std::as_const(m_fileActions)) {
        const QString operation = m_commands.value(action);
        action->setEnabled(anySelected && (operation.isEmpty() || m_run.has(operation)));
    }
}

void WindowMenus::prepareFolders(const QString& folderName, bool isFavourite)
{
    m_addFavorite->setText(QStringLiteral("&Add \u2018") + folderName +
                           QStringLiteral("\u2019 to Favorites"));
    m_removeFavorite->setText(QStringLiteral("&Remove \u2018") + folderName +
                              QStringLiteral("\u2019 from Favorites"));
    m_addFavorite->setVisible(!isFavourite);
    m_removeFavorite->setVisible(isFavourite);
    for (QAction* action : menFolders->actions()) {
        const QString operation = m_commands.value(action);
        if (!operation.isEmpty())
            action->setEnabled(m_run.has(operation));
    }
}

} // namespace kelmar
