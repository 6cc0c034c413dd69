// The demo host's main window: a KXView, buttons that open each library of a sample application directory
// and call the control's host-side members, a menu that runs the updates against the directory's
// update-service mirror, and a log of every event the control raises and of what the updates did. It uses
// the component's installed headers only, and reaches the constituent controls as any host can: by their
// documented objectNames and Qt's own interfaces.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QPlainTextEdit;
class QSettings;
class QTableView;

namespace kx {
class KXView;
class PropertyStore;
}  // namespace kx

namespace demo {

class StaticFileServer;

/// The kinds of library the demo opens.
enum class Library { Quota, Material, Bill };

/// What one run of both updates did.
struct UpdateReport {
    /// UpdateDELibrary's result code (modUpdate::UpdateDEResult); -1 when it did not run or threw.
    qint32 libraryResult = -1;
    /// The number of price files UpdatePriceFiles installed.
    int priceFilesInstalled = 0;
    /// The files written below the application directory, outside its Temp work folder ('/'-separated).
    QStringList installedFiles;
};

/// The demo's main window.
class DemoWindow : public QMainWindow {
    Q_OBJECT

public:
    /// A window browsing the libraries below the application directory `appDir`, with every addition of
    /// the control switched on (the menu 增强功能 switches each). Recent and favourite items are kept in
    /// the user's settings when `rememberMarks`, else for the window's life.
    explicit DemoWindow(const QString& appDir, bool rememberMarks = false, QWidget* parent = nullptr);
    ~DemoWindow() override;

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
    /// Types `text` into the filter box, over the whole library when `wholeLibrary`, as a user does.
    void filter(const QString& text, bool wholeLibrary);
    /// Makes grid row `row` current and presses Ctrl+D, which marks its item as a favourite.
    void markFavourite(int row);
    /// Opens the grid's context menu on row `row`, as a right click does.
    void openGridMenu(int row);
    /// Presses the browser's price tool: the price-file picker opens on the shown library's price folder,
    /// and the file picked there gets a price column (the demo's second one, next to the file it sets).
    /// Logs the price columns afterwards.
    void selectPriceFile();
    /// Presses the browser's library tool: the shown kind's picker opens on the library's catalogue, and
    /// the library picked there is loaded (one not installed is fetched from the mirror first). Logs the
    /// library shown afterwards.
    void switchLibrary();
    /// The text of the description pane.
    QString descriptionText() const;
    /// The text of grid cell (`row`, `col`), in the grid's coordinates (row 0 the header row).
    QString cellText(int row, int col) const;
    /// The number of grid columns, the fixed one included.
    int columnCount() const;
    /// Runs against the directory's update-service mirror (served from the window's creation on, see
    /// serveMirror) the update of the building quota library and the price-file
    /// update of the material library's price set, with the dialogs the dialog service shows. Everything
    /// they write stays below the application directory ("<SYS>" targets go to its System folder). Logs
    /// the requests, result codes and written files, and reopens the library shown before.
    UpdateReport runUpdates();
    /// Appends a line to the event log.
    void log(const QString& line);
    /// The control.
    kx::KXView& view() const { return *m_view; }

private:
    QTableView& grid() const;
    /// The number of grid rows, the header row included.
    int rowCount() const;
    /// Makes grid row `row` current, as a click on it does.
    void selectRow(int row);
    QString priceFile(const char* title) const;
    void addHostCalls();
    void addUpdateMenu();
    void addAdditionsMenu();
    void connectEvents();
    /// Serves the directory's update-service mirror (UpdateService/) over http on 127.0.0.1 and makes it
    /// the update service's address, from the first call on, so that the pickers' downloads and the
    /// update menu reach it; false (and a log line) when it cannot be served.
    bool serveMirror();
    /// Presses the browser's toolbar tool `name` as a user does, and logs `call` with the outcome.
    void pressTool(const char* name, const QString& call);
    qint32 updateQuotaLibrary(const QString& appPath);
    int updatePriceFiles(const QString& appPath);

    QString m_appDir;
    kx::KXView* m_view;
    QPlainTextEdit* m_log;
    std::optional<Library> m_shown;                   // the library Load opened last
    StaticFileServer* m_mirror = nullptr;             // from the first update on
    std::unique_ptr<QSettings> m_settings;            // the user's settings, when marks are remembered
    std::unique_ptr<kx::PropertyStore> m_marksStore;  // recent and favourite items in them
};

}  // namespace demo
