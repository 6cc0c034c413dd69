// kxview-demo: a host window embedding the library browser over a sample application directory.
//
//   kxview-demo [--app-dir DIR] [--screenshots DIR]
//
// With a display it opens the window. With --screenshots, or when there is no display, it renders
// offscreen, writes screenshots into the folder and exits: one per library kind (a category listed, a row
// selected and called), a quota item with its conversion rows open, a bill item with its related quotas
// open, a material list with two price columns, and the two update dialogs filled from the directory's
// update-service mirror.
#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

#include "core/services/messages.h"
#include "demo_window.h"
#include "kxview/kxview.h"
#include "widgets/controls/gridmodel.h"
#include "widgets/services/dialogs.h"

namespace {

/// Message boxes written into the demo's log: an offscreen run has nobody to close them.
class LoggedMessages : public kx::MessageService {
public:
    explicit LoggedMessages(demo::DemoWindow& window) : m_window(window) {}
    kx::MessageAnswer show(const kx::MessageBoxSpec& spec, QObject*) override {
        m_window.log(QStringLiteral("message box %1: %2").arg(spec.title, spec.text));
        return spec.buttons == kx::MessageBoxSpec::Buttons::Ok ? kx::MessageAnswer::Ok
                                                               : kx::MessageAnswer::No;
    }

private:
    demo::DemoWindow& m_window;
};

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

/// The pictures of the browser's depth: a quota item with notes and its conversion rows open, a bill item
/// with headed related quotas open, a material list with two price columns (the second standing in for the
/// price tool). The number of failures.
int writeDepthScreenshots(demo::DemoWindow& window, const QString& folder) {
    int failures = 0;
    window.open(demo::Library::Quota);
    // An item with a code and with notes besides its work content.
    const int quota = window.openFirstRowWithChildren([&](int row) {
        return !window.cells().TextMatrix(row, kCodeCol).isEmpty() && window.descriptionText().contains('\r');
    });
    failures += quota == 0 || !save(window, folder, "quota-conversions.png");
    window.open(demo::Library::Bill);
    // A bill item with all three sections whose quotas are grouped under headings.
    const int bill = window.openFirstRowWithChildren([&](int row) {
        return window.cells().TextMatrix(row + 1, kRowKindCol) == QLatin1String("Title") &&
               window.descriptionText().contains(QStringLiteral("【项目特征】")) &&
               window.descriptionText().contains(QStringLiteral("【计算规则】"));
    });
    failures += bill == 0 || !save(window, folder, "bill-related-quotas.png");
    window.open(demo::Library::Material);
    window.addSecondPriceColumn();
    window.callRow(4);
    failures += window.cells().Cols() != 12 || !save(window, folder, "material-price-columns.png");
    return failures;
}

/// A dialog script that saves the dialog as `file` in `folder`, counting it in `saved`, and then clicks
/// its button `button`.
kx::ScriptedDialogService::Script saveThenClick(const QString& folder, const char* file, const char* button,
                                                int& saved) {
    return [&folder, file, button, &saved](QDialog& dialog) {
        saved += save(dialog, folder, file) ? 1 : 0;
        if (auto* target = dialog.findChild<QAbstractButton*>(QLatin1String(button))) target->click();
    };
}

/// The information dialog of the quota-library update and the price-file selection, as the mirror fills
/// them, each saved while shown and then declined: the directory keeps its editions, so every run gives
/// the same pictures. The number of failures.
int writeUpdateScreenshots(demo::DemoWindow& window, const QString& folder) {
    int saved = 0;
    auto script = std::make_unique<kx::ScriptedDialogService>();
    const auto download = [](QDialog&) {};  // the download dialog starts and closes by itself
    script->queue(QStringLiteral("frmPub_DownLoad"), download);  // the information file
    script->queue(QStringLiteral("frmNet_UpdateDEInfo"),
                  saveThenClick(folder, "quota-update-info.png", "cmdCancel", saved));
    script->queue(QStringLiteral("frmPub_DownLoad"), download);  // the price catalogue
    script->queue(QStringLiteral("frmPub_DownLoad_Price"),
                  saveThenClick(folder, "price-update-selection.png", "cmdCancel", saved));
    kx::setDialogService(std::move(script));
    window.runUpdates();
    kx::setDialogService(nullptr);
    return 2 - saved;
}

/// Opens each library, selects and calls a row, and saves the window; the number of failures.
int writeScreenshots(demo::DemoWindow& window, const QString& folder) {
    QDir().mkpath(folder);
    const std::pair<demo::Library, const char*> shots[] = {
        {demo::Library::Quota, "quota-library.png"},
        {demo::Library::Material, "material-library.png"},
        {demo::Library::Bill, "bill-item-library.png"},
    };
    int failures = 0;
    for (const auto& [library, file] : shots) {
        if (!window.open(library)) ++failures;
        QApplication::processEvents();  // the grid lays its new rows out before it scrolls
        // In the quota library the row below the first corrected item, so its red mark shows beside it; in
        // the bill library a bill item whose related quotas all come from installed libraries.
        const int corrected = library == demo::Library::Quota ? window.firstCorrectedRow() : 0;
        window.callRow(corrected > 0 ? corrected + 1 : library == demo::Library::Bill ? 2 : 4);
        failures += !save(window, folder, file);
    }
    return failures + writeDepthScreenshots(window, folder) + writeUpdateScreenshots(window, folder);
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
    demo::DemoWindow window(appDir);
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
    kx::setMessageService(std::make_unique<LoggedMessages>(window));
    const int failures = writeScreenshots(window, folder);
    std::printf("screenshots written to %s\n", qPrintable(QDir(folder).absolutePath()));
    return failures == 0 ? 0 : 1;
}
