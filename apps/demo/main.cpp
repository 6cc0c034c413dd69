// kxview-demo: a host window embedding the library browser over a sample application directory.
//
//   kxview-demo [--app-dir DIR] [--screenshots DIR]
//
// With a display it opens the window. With --screenshots, or when there is no display, it renders
// offscreen, writes one screenshot per library kind (a category listed, a row selected and called) into
// the folder, and exits.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

#include "demo_window.h"

namespace {

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

/// A folder beside the executable's folder (build/bin/../NAME).
QString besideBinaries(const char* argv0, const QString& name) {
    return QFileInfo(QString::fromLocal8Bit(argv0)).absoluteDir().filePath(QStringLiteral("../") + name);
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
        // In the quota library the row below the first corrected item, so its red mark shows beside it.
        const int corrected = library == demo::Library::Quota ? window.firstCorrectedRow() : 0;
        window.callRow(corrected > 0 ? corrected + 1 : 4);
        QApplication::processEvents();
        const QString path = QDir(folder).filePath(QLatin1String(file));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "kxview-demo: cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    bool screenshotsOnly = !hasDisplay();
    for (int i = 1; i < argc; ++i)
        screenshotsOnly = screenshotsOnly || QByteArray(argv[i]) == "--screenshots";
    if (screenshotsOnly && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

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
    const int failures = writeScreenshots(window, folder);
    std::printf("screenshots written to %s\n", qPrintable(QDir(folder).absolutePath()));
    return failures == 0 ? 0 : 1;
}
