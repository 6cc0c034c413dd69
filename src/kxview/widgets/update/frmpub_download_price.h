// The selection dialog of a price-file update: the offered catalogue as a grid, new and changed files
// marked, and check boxes for the files to fetch.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include "kxview/kxview_export.h"
#include "kxview/updateprompts.h"

class QLabel;
class QPushButton;
class QTableWidget;

/// Lists the entries of an offered price catalogue depth-first, marks files that are not installed
/// ("[新]", red) or whose edition changed (red), and collects the ticked file names. The offer is read and
/// compared by the core (kx::readPriceSetOffer). One shared instance (kx::sharedForm); every showing
/// starts with an empty choice.
class KXVIEW_EXPORT frmPub_DownLoad_Price : public QDialog {
    Q_OBJECT

public:
    /// Grid columns.
    enum Column {
        ColUpdate = 1,
        ColState = 2,
        ColName = 3,
        ColCreated = 4,
        ColModified = 5,
        ColNote = 6,
        ColFile = 7
    };

    explicit frmPub_DownLoad_Price(QWidget* parent = nullptr);

    /// The offered catalogue (MatePriceIndex.mdb after extraction).
    void SetFileFullName(const QString& p_V) { m_fileFullName = p_V; }
    /// The data folder that holds "材料价格文件\".
    void SetDataPath(const QString& p_V) { m_dataPath = p_V; }
    /// The key of the price set.
    void SetMateKey(const QString& p_V) { m_mateKey = p_V; }

    /// The number of files chosen when the dialog closed.
    qint16 GetUpdateCount() const { return static_cast<qint16>(m_chosen.size()); }
    /// Chosen file `Index` (1-based); "" outside the range.
    QString GetUpdateName(qint16 Index) const;

    /// Loads the dialog and shows it modally; returns when it has closed. Throws kx::DbError when a
    /// catalogue cannot be read.
    void showModal();

    /// Fills the grid with the offer's entries, one row each, depth-first.
    void LoadRec();
    /// Marks row `Row` as its entry compares with the installed set: "[新]" and red text for a file not
    /// installed, red text for a changed one.
    void SetRowFeature(int Row);

private:
    void Form_Load();
    void prepareGrid();
    void fitColumns();
    void addEntryRow(const kx::PriceFileEntry& entry);
    bool isFileRow(int row) const;
    bool isTicked(int row) const;
    void setTicked(int row, bool ticked);
    void paintRowText(int row, const QColor& colour);
    void onCellClicked(int row, int column);
    void cmdRange_Click();
    void cmdStar_Click();

    QString m_fileFullName;
    QString m_dataPath;
    QString m_mateKey;
    QStringList m_chosen;
    kx::PriceSetOffer m_offer;  // row r of the grid shows entry r

    QLabel* m_lblTitle;
    QTableWidget* m_grid;
    QPushButton* m_cmdStar;
    QPushButton* m_cmdRange;
    QPushButton* m_cmdCancel;
    QPushButton* m_cmdClose;
};
