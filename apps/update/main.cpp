// kxview-update: runs the quota-library or price-file update without a screen, every question answered
// by the options; progress and messages go to standard error.
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstring>
#include <exception>

#include "headless.h"
#include "kxview/updates.h"

namespace {

constexpr int kUsageError = 64;
constexpr int kFailure = 70;

/// Keeps standard error for what an administrator needs: the component's own lines and real failures.
void printRelevantMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const bool ours = context.category != nullptr && std::strcmp(context.category, "kxview") == 0;
    if (!ours && type < QtCriticalMsg) return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

int usage() {
    std::fprintf(stderr,
                 "usage: kxview-update de LIBNAME --app-dir DIR [--data-dir DIR] --base URL [--yes]\n"
                 "       kxview-update prices KEY --app-dir DIR --data-dir DIR --base URL [--all | FILE...]\n"
                 "options for both: --system-dir DIR (\"<SYS>\" targets), --register-command \"CMD %%1\"\n");
    return kUsageError;
}

/// A folder path with its trailing separator, as the update procedures expect.
QString asFolder(const QString& path) {
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))) return path;
    return path + QLatin1Char('/');
}

struct Options {
    QString command;
    QString subject;  // LIBNAME or KEY
    QStringList files;
    QString appDir, dataDir, base, systemDir, registerCommand;
    kxupdate::Answers answers;
};

/// Reads the arguments; false when they do not form a command.
bool parse(const QStringList& args, Options& o) {
    QStringList positional;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        if (a == QLatin1String("--app-dir")) {
            if (!value(o.appDir)) return false;
        } else if (a == QLatin1String("--data-dir")) {
            if (!value(o.dataDir)) return false;
        } else if (a == QLatin1String("--base")) {
            if (!value(o.base)) return false;
        } else if (a == QLatin1String("--system-dir")) {
            if (!value(o.systemDir)) return false;
        } else if (a == QLatin1String("--register-command")) {
            if (!value(o.registerCommand)) return false;
        } else if (a == QLatin1String("--yes")) {
            o.answers.yes = true;
        } else if (a == QLatin1String("--all")) {
            o.answers.allPriceFiles = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return false;
        } else {
            positional << a;
        }
    }
    if (positional.size() < 2 || o.appDir.isEmpty() || o.base.isEmpty()) return false;
    o.command = positional.takeFirst();
    o.subject = positional.takeFirst();
    o.answers.priceFiles = positional;
    o.appDir = asFolder(o.appDir);
    o.dataDir = asFolder(o.dataDir.isEmpty() && o.command == QLatin1String("de")
                             ? o.appDir + QStringLiteral("造价资料/")
                             : o.dataDir);
    if (o.command == QLatin1String("de")) return positional.isEmpty() && !o.answers.allPriceFiles;
    if (o.command == QLatin1String("prices"))
        return !o.dataDir.isEmpty() && (o.answers.allPriceFiles != !positional.isEmpty());
    return false;
}

int run(const Options& o) {
    modUpdate::SetUpdateBaseAddress(asFolder(o.base));
    modUpdate::SetSystemDirectory(o.systemDir);
    modUpdate::SetRegisterCommand(o.registerCommand);
    kxupdate::HeadlessPrompts prompts(o.answers);
    if (o.command == QLatin1String("de")) {
        const qint32 code = modUpdate::UpdateDELibrary(prompts, o.subject, o.appDir, o.dataDir);
        std::printf("%d\n", code);
        return code;
    }
    std::printf("%d\n", modUpdate::UpdatePriceFiles(prompts, o.subject, o.appDir, o.dataDir));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(printRelevantMessages);
    QCoreApplication app(argc, argv);
    Options options;
    if (!parse(QCoreApplication::arguments(), options)) return usage();
    try {
        return run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kxview-update: %s\n", e.what());
        return kFailure;
    }
}
