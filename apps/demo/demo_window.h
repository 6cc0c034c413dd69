// The demo host's main window: a KXView, buttons that open each library of a sample application directory
// and call the control's host-side members, and a log of every event the control raises.
#pragma once

#include <QMainWindow>
#include <QString>

class QPlainTextEdit;

namespace kx {
class KXView;
}

namespace demo {

/// The kinds of library the demo opens.
enum class Library { Quota, Material, Bill };

/// The demo's main window.
class DemoWindow : public QMainWindow {
    Q_OBJECT

public:
    /// A window browsing the libraries below the application directory `appDir`.
    explicit DemoWindow(const QString& appDir, QWidget* parent = nullptr);

    /// Opens `library` in the control; false (and a log line) when Load fails.
    bool open(Library library);
    /// Makes grid row `row` current and presses the toolbar's call tool, as a user picking an item would.
    void callRow(int row);
    /// The first grid row whose name carries the errata mark; 0 when none does.
    int firstCorrectedRow() const;
    /// The control.
    kx::KXView& view() const { return *m_view; }

private:
    void addHostCalls();
    void connectEvents();
    void log(const QString& line);

    QString m_appDir;
    kx::KXView* m_view;
    QPlainTextEdit* m_log;
};

}  // namespace demo
