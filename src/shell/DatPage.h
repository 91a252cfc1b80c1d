// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/DatModels.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSettings;
class QTableView;
class QTabWidget;
class frmKelmar;

namespace kelmar {

// The "DAT" tab: a catalogue (the recent ones in a drop-down), the folder of the collection,
// and the sets of the catalogue with what the collection holds of each, once verified.
// Loading, Verify and Fix run as the window's batches, on its runner; the page stays usable
// while they run only for its Stop.
class DatPage : public QWidget
{
    Q_OBJECT
public:
    explicit DatPage(QWidget* parent = nullptr);
    ~DatPage() override;

    // Registers the page's batches ("dat_load", "dat_verify", "dat_fix") with the window and
    // follows their end.
    void attach(frmKelmar& window);

    // The recent catalogues, newest first, stored under "dat/RecentDATs".
    void loadRecent(const QSettings& settings);
    void saveRecent(QSettings& settings) const;
    QStringList recentCatalogues() const;

    // Makes path the chosen catalogue (the first of the recent ones) and loads it. False when
    // no batch could start.
    bool openCatalogue(const QString& path);
    // The collection's folder; until the user chooses one, the tree's folder.
    void setFolder(const QString& folder);
    QString folder() const;
    void setDefaultFolder(const QString& folder);

    // The page's commands, as its buttons give them.
    bool verify();
    bool fix();
    void writeFixdat();

    // While a batch of the page runs its controls are disabled but Stop.
    void setBusy(bool busy);

    const DatView& view() const { return m_sets->view(); }
    DatSetModel* sets() const { return m_sets; }
    DatSetFilter* filteredSets() const { return m_filter; }
    DatRomModel* roms() const { return m_roms; }
    QString countsText() const;
    QStringList unknownFiles() const;

protected:
    // The first time the page shows, the newest recent catalogue is loaded.
    void showEvent(QShowEvent* event) override;

private:
    struct Run;

    QWidget* buildTop();
    QWidget* buildTables();
    void browseCatalogue();
    void browseFolder();
    void catalogueChosen(int index);
    void rememberCatalogue(const QString& path);
    bool start(const QString& operation, std::shared_ptr<Run> run);
    void batchEnded();
    void showView(DatView view);
    void showSelectedSet();
    void updateCounts();
    void updateButtons();
    std::shared_ptr<const catalogue::Catalogue> loadedFor(const QString& path) const;

    frmKelmar* m_window = nullptr;
    std::shared_ptr<Run> m_run; // the batch of the page that runs
    QString m_loadedPath;       // the catalogue m_sets shows
    bool m_busy = false;
    bool m_folderChosen = false;
    bool m_shownOnce = false;

    QComboBox* cboCatalogue = nullptr;
    QPushButton* cmdLoad = nullptr;
    QLabel* lblCatalogue = nullptr;
    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdFolder = nullptr;
    QCheckBox* chkSha1 = nullptr;
    QPushButton* cmdVerify = nullptr;
    QPushButton* cmdFix = nullptr;
    QPushButton* cmdFixdat = nullptr;
    QPushButton* cmdStop = nullptr;
    QLabel* lblCounts[5] = {};
    QLineEdit* txtFilter = nullptr;
    QComboBox* cboShow = nullptr;
    QTableView* lstSets = nullptr;
    QTabWidget* tabDetail = nullptr;
    QTableView* lstRoms = nullptr;
    QListWidget* lstUnknown = nullptr;

    DatSetModel* m_sets = nullptr;
    DatSetFilter* m_filter = nullptr;
    DatRomModel* m_roms = nullptr;
};

} // namespace kelmar
