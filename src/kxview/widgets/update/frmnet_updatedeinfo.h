// The information dialog of a quota-library update: installed and offered version, and the change list.
#pragma once

#include <QDialog>
#include <QString>
#include "kxview/kxview_export.h"
#include "kxview/updateprompts.h"

class QLabel;
class QPushButton;
class QTableWidget;

/// Shows what the update service offers for an installed quota library and lets the user go on
/// (cmdSure, unload state 0), decline (cmdCancel, 1) or close (cmdClose, state unchanged). One shared
/// instance (kx::sharedForm); the unload state is kept between showings.
class KXVIEW_EXPORT frmNet_UpdateDEInfo : public QDialog {
    Q_OBJECT

public:
    explicit frmNet_UpdateDEInfo(QWidget* parent = nullptr);

    /// The downloaded information file.
    void SetUpdateFile(const QString& p_V) { m_updateFile = p_V; }
    /// The installed library whose "Ver" is compared.
    void SetDBFullName(const QString& p_V) { m_dbFullName = p_V; }
    /// 0: go on; 1: declined, or loaded and closed.
    qint32 GetUnloadState() const { return m_unloadState; }

    /// Loads the dialog with the offer the information file makes for the library and shows it modally;
    /// returns when it has closed. Throws kx::DbError when the installed library cannot be read.
    void showModal();

private:
    void Form_Load();
    void prepareGrid();
    void addChangeLine(const kx::QuotaLibraryOffer::Change& line);

    QString m_updateFile;
    QString m_dbFullName;
    qint32 m_unloadState = 0;

    QLabel* m_lblTitle;
    QTableWidget* m_grid;
    QPushButton* m_cmdSure;
    QPushButton* m_cmdCancel;
    QPushButton* m_cmdClose;
};
