// The download dialog: fetches one address into one folder and follows the transfer in a status line.
#pragma once

#include <QDialog>
#include <QString>
#include "kxview/kxview_export.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kx {
class DownloadControl;
}

/// The small borderless modal window through which every update file is fetched. Callers set the
/// address, the target and the flags, show it with showModal(), then read GetUnloadState() or
/// GetCompleteDownLoad(). One shared instance serves every caller (kx::sharedForm).
class KXVIEW_EXPORT frmPub_DownLoad : public QDialog {
    Q_OBJECT

public:
    explicit frmPub_DownLoad(QWidget* parent = nullptr);

    /// The address of the file to fetch.
    void SetURL(const QString& p_V) { m_url = p_V; }
    /// The target; its folder part (up to the last separator) is the folder the file is saved into.
    void SetSaveAsFullName(const QString& p_V) { m_saveAsFullName = p_V; }
    /// The status text shown when the dialog loads (kept between showings).
    void SetTitle(const QString& p_V) { m_title = p_V; }
    /// Close the dialog when the download completes.
    void SetCompleteClose(bool p_V) { m_completeClose = p_V; }
    /// Start at once when the dialog loads, and close it after completion or failure.
    void SetAutoDownLoad(bool p_V) { m_autoDownLoad = p_V; }

    /// 0 after a completed download with close-on-completion set; 1 otherwise.
    qint32 GetUnloadState() const { return m_unloadState; }
    /// True after a completed download with close-on-completion set.
    bool GetCompleteDownLoad() const { return m_completeDownLoad; }

    /// Loads the dialog and shows it modally; returns when it has closed. Throws when the target folder
    /// cannot be created for an automatic start.
    void showModal();
    /// Creates the target folder when missing and starts the transfer.
    void StartDownLoad();

    /// The download control (for hosts and tests that follow the transfer).
    kx::DownloadControl& control() { return *m_dl; }

    /// Closes the dialog; a transfer still running is cancelled.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void showStatus(const QString& text, bool repaintNow);
    void onProgress(const QString& text, float fraction);
    void onCompleted(qint32 bytes);
    void cmdCancel_Click();
    void startFromButton();

    QString m_url;
    QString m_saveAsFullName;
    QString m_title;
    bool m_completeClose = false;
    bool m_autoDownLoad = false;
    qint32 m_unloadState = 1;
    bool m_completeDownLoad = false;

    kx::DownloadControl* m_dl;
    QLabel* m_lbl;
    QLabel* m_lblCaption;
    QProgressBar* m_progress;
    QPushButton* m_cmdStart;
    QPushButton* m_cmdCancel;
    QLabel* m_btn1;
    QLabel* m_btn2;
};
