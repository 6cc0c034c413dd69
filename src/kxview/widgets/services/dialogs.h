// Modal dialogs through one service, so tests can drive a dialog by script instead of a nested loop
// that waits for a user.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include "kxview/kxview_export.h"

class QDialog;
class QWidget;

namespace kx {

/// Runs modal dialogs. The default implementation calls QDialog::exec().
class KXVIEW_EXPORT DialogService {
public:
    virtual ~DialogService() = default;
    /// Shows `dialog` modally and returns its result (QDialog::Accepted, QDialog::Rejected or the code
    /// passed to QDialog::done()).
    virtual int exec(QDialog& dialog) = 0;
};

/// The service in use (QDialog::exec() unless replaced).
KXVIEW_EXPORT DialogService& dialogService();
/// Replaces the service; returns the previous one so tests can restore it. Null restores the default.
KXVIEW_EXPORT std::unique_ptr<DialogService> setDialogService(std::unique_ptr<DialogService> service);

/// Moves `dialog` (at its size hint unless it has a size already) to the middle of `host`'s window; does
/// nothing without a host.
KXVIEW_EXPORT void centreOver(QWidget& dialog, const QWidget* host);

/// A service for tests. Each dialog is shown (not modally), the script queued for its objectName runs
/// on it (filling fields, clicking buttons), and the service then lets the event loop run until the
/// dialog finishes, so dialogs that close themselves (a finished download) finish as they would for a
/// user. A dialog without a script, or one still open after the wait, is rejected.
class KXVIEW_EXPORT ScriptedDialogService : public DialogService {
public:
    using Script = std::function<void(QDialog&)>;

    /// Queues `script` for the next dialog whose objectName is `dialogName`.
    void queue(const QString& dialogName, Script script);
    /// How long a scripted dialog may stay open after its script ran (default 30 s).
    void setFinishTimeout(int milliseconds) { m_finishTimeoutMs = milliseconds; }
    /// The objectNames of the dialogs shown so far, oldest first.
    const QStringList& shown() const { return m_shown; }
    /// The objectNames of the dialogs that had to be rejected because they did not finish in time.
    const QStringList& timedOut() const { return m_timedOut; }

    int exec(QDialog& dialog) override;

private:
    struct Entry {
        QString dialogName;
        Script script;
    };
    QList<Entry> m_scripts;
    QStringList m_shown;
    QStringList m_timedOut;
    int m_finishTimeoutMs = 30000;
};

}  // namespace kx
