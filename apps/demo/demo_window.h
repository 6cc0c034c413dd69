// The demo host's main window: a KXView, buttons that open each library of a sample application directory
// and call the control's host-side members, and a log of every event the control raises.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>

class QPlainTextEdit;

namespace kx {
class GridModel;
class KXView;
class OutlineGrid;
}  // namespace kx

namespace demo {

/// The kinds of library the demo opens.
enum class Library { Quota, Material, Bill };

/// The demo's main window.
class DemoWindow : public QMainWindow {
    Q_OBJECT

public:
    /// A window browsing the libraries below the application directory `appDir`.
    explicit DemoWindow(const QString& appDir, QWidget* parent = nullptr);

    /// Opens `library` in the control with the price file the demo sets for it (the quota and material
    /// libraries get "北京2024年1月信息价"); false (and a log line) when Load fails.
    bool open(Library library);
    /// Makes grid row `row` current and presses the toolbar's call tool, as a user picking an item would.
    void callRow(int row);
    /// The first grid row whose name carries the errata mark; 0 when none does.
    int firstCorrectedRow() const;
    /// Selects the top-level rows one after the other, as a user moving down the list does, until one
    /// has rows of its own (conversions, related quotas) and passes `wanted`; then opens them with Enter
    /// and returns that row. 0 when no row qualifies.
    int openFirstRowWithChildren(const std::function<bool(int row)>& wanted);
    /// Adds the price column of a second price file ("北京2024年2月信息价"), standing in for the toolbar's
    /// price tool, which needs the price-file picker.
    void addSecondPriceColumn();
    /// The text of the description pane.
    QString descriptionText() const;
    /// The grid's content.
    const kx::GridModel& cells() const;
    /// Appends a line to the event log.
    void log(const QString& line);
    /// The control.
    kx::KXView& view() const { return *m_view; }

private:
    kx::OutlineGrid& grid() const;
    QString priceFile(const char* title) const;
    void addHostCalls();
    void connectEvents();

    QString m_appDir;
    kx::KXView* m_view;
    QPlainTextEdit* m_log;
};

}  // namespace demo
