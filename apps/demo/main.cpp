// kxview-demo: a host window embedding the library browser over a sample application directory.
//
//   kxview-demo [--app-dir DIR] [--screenshots DIR]
//
// With a display it opens the window. With --screenshots, or when there is no display, it renders
// offscreen, writes screenshots into the folder and exits: one per library kind (a category listed, a row
// selected and called), a quota item with its conversion rows open, a bill item with its related quotas
// open, the quota-library and the price-file picker with an entry shown, a material list with two price
// columns (the second picked in the price-file picker), the two update dialogs filled from the directory's
// update-service mirror, and the control's additions: the filter finding the whole library by pinyin, the
// recent and favourite items beside the tree, and a material's price history.
#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QStringList>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "demo_window.h"
#include "kxview/kxview.h"

namespace {

/// Renders offscreen on a screen of an ordinary desktop's size instead of the platform's 800x600, so that
/// dialogs that size themselves by the screen (the price-file selection takes up to nine tenths of its
/// width) come out as they do on a desktop. The platform's configuration file goes into `dir`.
void renderOffscreenOnDesktopScreen(const QTemporaryDir& dir) {
    constexpr char kDesktopScreen[] =
        R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080}]})";
    const QString config = dir.filePath(QStringLiteral("offscreen.json"));
    QFile file(config);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(kDesktopScreen) > 0;
    file.close();
    qputenv("QT_QPA_PLATFORM",
            written ? "offscreen:configfile=" + QFile::encodeName(config) : QByteArray("offscreen"));
}

QtMessageHandler g_nextHandler = nullptr;

// The offscreen platform warns, window by window, that it ignores size hints: nothing a user of the demo
// can act on. Every other message goes on as before.
void withoutSizeHintNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support propagateSizeHints"))) return;
    g_nextHandler(type, context, message);
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

/// A folder beside the executable's folder (build/bin/../NAME).
QString besideBinaries(const char* argv0, const QString& name) {
    return QFileInfo(QString::fromLocal8Bit(argv0)).absoluteDir().filePath(QStringLiteral("../") + name);
}

constexpr int kCodeCol = static_cast<int>(kx::HCol_F::Code) + 1;
constexpr int kRowKindCol = static_cast<int>(kx::HCol_F::RowKind) + 1;

/// Saves a picture of `widget` as `file` in `folder`; false (and a message) when it cannot be written.
bool save(QWidget& widget, const QString& folder, const char* file) {
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(QLatin1String(file));
    if (widget.grab().save(path)) return true;
    std::fprintf(stderr, "kxview-demo: cannot write %s\n", qPrintable(path));
    return false;
}

/// Clicks the entry captioned `caption` in a picker's tree (the QTreeView of its "tree") as a user does;
/// false when there is none.
bool clickEntry(QDialog& picker, const QString& caption) {
    auto* tree = picker.findChild<QWidget*>(QStringLiteral("tree"));
    auto* view = tree ? tree->findChild<QTreeView*>() : nullptr;
    if (view == nullptr) return false;
    const QModelIndexList found = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, caption,
                                                       1, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return false;
    view->scrollTo(found.first());
    const QPoint at = view->visualRect(found.first()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &click);
    }
    return true;
}

/// What the offscreen run does in a picker: the entries it clicks one after the other (the last stays
/// selected), the picture it saves, the button it ends with.
struct PlannedPick {
    QStringList entries;
    const char* picture = nullptr;
    const char* button = nullptr;
};

/// The pictures of the browser's depth: a quota item with notes and its conversion rows open, a bill item
/// with headed related quotas open, a material list with two price columns (the second picked in the
/// price-file picker the price tool opens). The number of failures.
int writeDepthScreenshots(demo::DemoWindow& window, const QString& folder) {
    int failures = 0;
    window.open(demo::Library::Quota);
    // An item with a code and with notes besides its work content.
    const int quota = window.openFirstRowWithChildren([&](int row) {
        return !window.cellText(row, kCodeCol).isEmpty() && window.descriptionText().contains('\r');
    });
    failures += quota == 0 || !save(window, folder, "quota-conversions.png");
    window.open(demo::Library::Bill);
    // A bill item with all three sections whose quotas are grouped under headings.
    const int bill = window.openFirstRowWithChildren([&](int row) {
        return window.cellText(row + 1, kRowKindCol) == QLatin1String("Title") &&
               window.descriptionText().contains(QStringLiteral("【项目特征】")) &&
               window.descriptionText().contains(QStringLiteral("【计算规则】"));
    });
    failures += bill == 0 || !save(window, folder, "bill-related-quotas.png");
    window.open(demo::Library::Material);
    window.selectPriceFile();
    window.callRow(4);
    failures += window.columnCount() != 12 || !save(window, folder, "material-price-columns.png");
    return failures;
}

/// The pictures of the additions: the filter finding the whole library by the pinyin of a polyphonic
/// character (桩长, "zhuangchang"), recent and favourite items beside the tree, and the price history of a
/// material (saved by `answers` while the dialog is shown). The number of failures.
int writeAdditionScreenshots(demo::DemoWindow& window, const QString& folder) {
    int failures = 0;
    window.open(demo::Library::Quota);
    window.filter(QStringLiteral("zhuangchang"), true);
    failures += !save(window, folder, "pinyin-find.png");
    window.filter(QString(), false);
    window.open(demo::Library::Quota);
    for (const int row : {2, 5, 9}) window.markFavourite(row);
    for (const int row : {3, 7, 4}) window.callRow(row);
    if (auto* marks = window.view().findChild<QTabWidget*>(QStringLiteral("marksPanel")))
        marks->setCurrentIndex(1);
    failures += !save(window, folder, "favourites.png");
    window.open(demo::Library::Material);
    window.openGridMenu(3);
    return failures;
}

/// Answers the modal windows of an offscreen run, where nobody sees them: each message box goes into the
/// log and is closed with No (or OK); the information dialog of the quota-library update and the
/// price-file selection are saved as pictures and declined with their cmdCancel; a picker clicks the
/// entry planned for it, is saved, and ends with the planned button (cancelled when nothing is planned).
/// The download dialog closes by itself. It watches the application's windows as they are shown, as any
/// host may.
class OffscreenAnswers : public QObject {
public:
    OffscreenAnswers(demo::DemoWindow& window, QString folder)
        : m_window(window), m_folder(std::move(folder)) {
        qApp->installEventFilter(this);
    }
    ~OffscreenAnswers() override { qApp->removeEventFilter(this); }

    /// The dialogs saved so far.
    int saved() const { return m_saved; }
    /// The pickers saved so far.
    int picked() const { return m_picked; }
    /// What to do when the picker `dialogName` shows next.
    void plan(const QString& dialogName, const PlannedPick& pick) { m_picks.insert(dialogName, pick); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        if (auto* menu = qobject_cast<QMenu*>(watched);
            menu && menu->objectName() == QLatin1String("gridMenu")) {
            QTimer::singleShot(0, menu, [menu] { choosePriceHistory(*menu); });
            return false;
        }
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog == nullptr) return false;
        // Answered once the window is up and its modal loop runs.
        QTimer::singleShot(0, dialog, [this, window = QPointer<QDialog>(dialog)] {
            if (window) answer(*window);
        });
        return false;
    }

private:
    void answer(QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            m_window.log(QStringLiteral("message box %1: %2").arg(box->windowTitle(), box->text()));
            QAbstractButton* no = box->button(QMessageBox::No);
            no ? no->click() : box->accept();
            return;
        }
        const QString name = dialog.objectName();
        if (name == QLatin1String("frmNet_UpdateDEInfo")) saveAndCancel(dialog, "quota-update-info.png");
        if (name == QLatin1String("frmPub_DownLoad_Price"))
            saveAndCancel(dialog, "price-update-selection.png");
        if (name == QLatin1String("frmPriceHistory")) {
            m_saved += save(dialog, m_folder, "price-history.png") ? 1 : 0;
            dialog.reject();
        }
        if (name == QLatin1String("frmSelectPrice") || name == QLatin1String("frmPub_SelectDE")) pick(dialog);
    }

    void pick(QDialog& picker) {
        const PlannedPick planned = m_picks.take(picker.objectName());  // nothing planned: no entries
        bool clicked = !planned.entries.isEmpty();
        for (const QString& entry : planned.entries) clicked = clicked && clickEntry(picker, entry);
        if (clicked) m_picked += save(picker, m_folder, planned.picture) ? 1 : 0;
        const char* button = clicked ? planned.button : "cmdCancel";
        if (auto* finish = picker.findChild<QAbstractButton*>(QLatin1String(button))) finish->click();
    }

    /// Chooses the price history in the grid's context menu, as a user's click does.
    static void choosePriceHistory(QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (!action->text().startsWith(QStringLiteral("价格走势"))) continue;
            menu.close();
            action->trigger();
            return;
        }
        menu.close();
    }

    void saveAndCancel(QDialog& dialog, const char* file) {
        m_saved += save(dialog, m_folder, file) ? 1 : 0;
        if (auto* cancel = dialog.findChild<QAbstractButton*>(QStringLiteral("cmdCancel"))) cancel->click();
    }

    demo::DemoWindow& m_window;
    QString m_folder;
    int m_saved = 0;
    int m_picked = 0;
    QMap<QString, PlannedPick> m_picks;
};

/// The information dialog of the quota-library update and the price-file selection, as the mirror fills
/// them, each saved by `answers` while shown and then declined: the directory keeps its editions, so every
/// run gives the same pictures. The number of failures.
int writeUpdateScreenshots(demo::DemoWindow& window, const OffscreenAnswers& answers) {
    const int before = answers.saved();
    window.runUpdates();
    return 2 - (answers.saved() - before);
}

/// Opens each library, selects and calls a row, and saves the window; the number of failures.
int writeScreenshots(demo::DemoWindow& window, const QString& folder) {
    QDir().mkpath(folder);
    OffscreenAnswers answers(window, folder);
    const std::pair<demo::Library, const char*> shots[] = {
        {demo::Library::Quota, "quota-library.png"},
        {demo::Library::Material, "material-library.png"},
        {demo::Library::Bill, "bill-item-library.png"},
    };
    int failures = 0;
    const int savedBefore = answers.saved();
    failures += writeAdditionScreenshots(window, folder);
    failures += answers.saved() - savedBefore != 1;  // the price history
    for (const auto& [library, file] : shots) {
        if (!window.open(library)) ++failures;
        QApplication::processEvents();  // the grid lays its new rows out before it scrolls
        // In the quota library the row below the first corrected item, so its red mark shows beside it; in
        // the bill library a bill item whose related quotas all come from installed libraries.
        const int corrected = library == demo::Library::Quota ? window.firstCorrectedRow() : 0;
        window.callRow(corrected > 0 ? corrected + 1 : library == demo::Library::Bill ? 2 : 4);
        failures += !save(window, folder, file);
    }
    // The pickers, each with an entry clicked and its description shown: the quota-library picker the
    // library tool opens (then cancelled), and the price-file picker the material library's price tool
    // opens (its entry chosen: the material list's second price column).
    // In the quota-library picker the library that is not installed is looked at first, so that its mark
    // shows beside the installed one chosen.
    answers.plan(QStringLiteral("frmPub_SelectDE"),
                 {{QStringLiteral("2018年市政工程消耗量定额"), QStringLiteral("2018年安装工程消耗量定额")},
                  "quota-library-picker.png",
                  "cmdCancel"});
    answers.plan(QStringLiteral("frmSelectPrice"),
                 {{QStringLiteral("北京市2024年2月建设工程材料信息价")}, "price-file-picker.png", "cmdSure"});
    window.open(demo::Library::Quota);
    window.switchLibrary();
    failures += writeDepthScreenshots(window, folder);
    failures += 2 - answers.picked();
    return failures + writeUpdateScreenshots(window, answers);
}

}  // namespace

int main(int argc, char** argv) {
    bool screenshotsOnly = !hasDisplay();
    for (int i = 1; i < argc; ++i)
        screenshotsOnly = screenshotsOnly || QByteArray(argv[i]) == "--screenshots";
    const QTemporaryDir platformConfig;
    if (screenshotsOnly && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        renderOffscreenOnDesktopScreen(platformConfig);

    if (screenshotsOnly) g_nextHandler = qInstallMessageHandler(withoutSizeHintNotices);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KXView demo host"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("app-dir"), QStringLiteral("The sample application directory."),
                      QStringLiteral("DIR"), besideBinaries(argv[0], QStringLiteral("sample-app"))});
    parser.addOption({QStringLiteral("screenshots"), QStringLiteral("Write screenshots into DIR and exit."),
                      QStringLiteral("DIR")});
    parser.process(app);

    const QString appDir = QDir(parser.value(QStringLiteral("app-dir"))).absolutePath();
    if (!QFileInfo(appDir).isDir()) {
        std::fprintf(stderr, "kxview-demo: no application directory at %s (build it with kxview-sample)\n",
                     qPrintable(appDir));
        return 2;
    }
    demo::DemoWindow window(appDir, !screenshotsOnly);
    window.resize(1280, 800);
    if (!screenshotsOnly) {
        window.show();
        window.open(demo::Library::Quota);
        return app.exec();
    }
    const QString folder = parser.isSet(QStringLiteral("screenshots"))
                               ? parser.value(QStringLiteral("screenshots"))
                               : besideBinaries(argv[0], QStringLiteral("screenshots"));
    window.show();
    const int failures = writeScreenshots(window, folder);
    std::printf("screenshots written to %s\n", qPrintable(QDir(folder).absolutePath()));
    return failures == 0 ? 0 : 1;
}
