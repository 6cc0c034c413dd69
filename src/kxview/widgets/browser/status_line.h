// The browser's status line below the grid: how many items the list holds and the filter shows, and why
// the current row could not be shown, in Chinese and once per cause in the log.
#pragma once

#include <QLabel>
#include <QSet>
#include <exception>

namespace kx {

/// The status line ("lblStatus").
class StatusLine : public QLabel {
public:
    explicit StatusLine(QWidget* parent);

    /// Shows what the list holds (kept beneath a row's failure until that is cleared).
    void setListInfo(const QString& text);
    /// Shows why the current row could not be shown: `userText` in Chinese on the line, the engine's text
    /// `detail` in the log, once per cause however often the row is reached again.
    void showRowFailure(const QString& userText, const QString& detail);
    /// Returns to the list's information after a row that was shown.
    void clearRowFailure();
    /// The failure shown; empty when none is.
    QString rowFailure() const { return m_failure; }

private:
    void refresh();

    QString m_listInfo;
    QString m_failure;
    QSet<QString> m_logged;
};

/// What the user reads about a failure while the current row changed: `failure` in Chinese, naming the
/// quota library key `relatedKey` when a related quota's library was looked for (empty otherwise).
QString describeRowFailure(const std::exception& failure, const QString& relatedKey);

}  // namespace kx
