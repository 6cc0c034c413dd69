// kxview-update: runs the quota-library or price-file update without a screen, every question answered
// by the options; progress and messages go to standard error.
#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "headless.h"
#include "kxview/updates.h"

namespace {

constexpr int kUsageError = 64;
constexpr int kFailure = 70;
// Exit codes beyond the quota-library update's result codes (0 to 4).
constexpr int kNothingInstalled = 5;     // de: finished, but the package installed no file
constexpr int kPricesNoneInstalled = 1;  // prices: not one of the files asked for was installed
constexpr int kPricesSomeInstalled = 2;  // prices: some of them were not installed
constexpr int kRecoveryFailed = 1;

/// Keeps standard error for what an administrator needs: the component's own lines and real failures.
void printRelevantMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const bool ours = context.category != nullptr && std::strcmp(context.category, "kxview") == 0;
    if (!ours && type < QtCriticalMsg) return;
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, text).toLocal8Bit().constData());
}

int usage() {
    std::fprintf(
        stderr,
        "usage: kxview-update de LIBNAME --app-dir DIR [--data-dir DIR] --base URL [--yes]\n"
        "       kxview-update prices KEY --app-dir DIR --data-dir DIR --base URL [--all | FILE...]\n"
        "       kxview-update recover --app-dir DIR\n"
        "options for de and prices: --system-dir DIR (\"<SYS>\" targets), --register-command \"CMD %%1\"\n"
        "  (registers flagged files; without it none are), --allow-absolute-targets\n");
    return kUsageError;
}

void explain(const char* why) {
    std::fprintf(stderr, "kxview-update: %s\n", why);
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
    bool allowAbsoluteTargets = false;
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
        } else if (a == QLatin1String("--allow-absolute-targets")) {
            o.allowAbsoluteTargets = true;
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
    if (positional == QStringList{QStringLiteral("recover")}) {
        o.command = positional.first();
        o.appDir = asFolder(o.appDir);
        return !o.appDir.isEmpty() && o.base.isEmpty();
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

/// Runs the quota-library update; its result code, or kNothingInstalled when it finished without
/// installing a file.
int updateLibrary(const Options& o, kxupdate::HeadlessPrompts& prompts) {
    const qint32 code = modUpdate::UpdateDELibrary(prompts, o.subject, o.appDir, o.dataDir);
    std::printf("%d\n", code);
    switch (code) {
        case modUpdate::kUpdateFinished:
            if (!prompts.installedFiles().isEmpty()) return code;
            explain("nothing installed: the package held no file to install");
            return kNothingInstalled;
        case modUpdate::kDownloadFailed:
            explain("nothing installed: the package did not arrive whole");
            break;
        case modUpdate::kExtractionFailed:
            explain("nothing installed: the package could not be unpacked");
            break;
        case modUpdate::kInstallFailed:
            explain("nothing installed: the package could not be installed");
            break;
        case modUpdate::kDeclined:
            explain("nothing installed: the offered edition was declined (--yes goes on)");
            break;
    }
    return code;
}

/// Runs the price-file update; 0 when every price file asked for was installed.
int updatePrices(const Options& o, kxupdate::HeadlessPrompts& prompts) {
    std::printf("%d\n", modUpdate::UpdatePriceFiles(prompts, o.subject, o.appDir, o.dataDir));
    if (!prompts.sawPriceOffer()) {
        explain("nothing installed: the price catalogue did not arrive");
        return kPricesNoneInstalled;
    }
    QStringList asked = prompts.chosenPriceFiles();
    for (const QString& name : o.answers.priceFiles) {
        const bool offered = std::any_of(asked.begin(), asked.end(), [&name](const QString& file) {
            return file == name || file.section(QLatin1Char('.'), 0, 0) == name;
        });
        if (!offered)
            std::fprintf(stderr, "kxview-update: not offered: %s\n", name.toLocal8Bit().constData());
        if (!offered) asked << name;
    }
    QStringList missing;
    for (const QString& file : std::as_const(asked)) {
        const bool installed =
            std::any_of(prompts.installedFiles().begin(), prompts.installedFiles().end(),
                        [&file](const QString& path) { return path.endsWith('/' + file); });
        if (!installed) missing << file;
    }
    for (const QString& file : std::as_const(missing))
        std::fprintf(stderr, "kxview-update: not installed: %s\n", file.toLocal8Bit().constData());
    if (missing.isEmpty()) return 0;
    if (missing.size() == asked.size()) {
        explain("nothing installed of what was asked for");
        return kPricesNoneInstalled;
    }
    return kPricesSomeInstalled;
}

/// Finishes or undoes an interrupted install and says which.
int recover(const Options& o) {
    switch (modUpdate::RecoverInterruptedInstall(o.appDir)) {
        case modUpdate::Recovery::NothingToDo:
            std::printf("nothing to recover\n");
            return 0;
        case modUpdate::Recovery::RolledBack:
            std::printf("rolled back: the files of the interrupted install are as before\n");
            return 0;
        case modUpdate::Recovery::Completed:
            std::printf("completed: the interrupted install had put all its files in place\n");
            return 0;
        case modUpdate::Recovery::Failed:
            break;
    }
    explain("the interrupted install could not be recovered, or another update is running");
    return kRecoveryFailed;
}

int run(const Options& o) {
    if (o.command == QLatin1String("recover")) return recover(o);
    modUpdate::SetUpdateBaseAddress(asFolder(o.base));
    modUpdate::SetSystemDirectory(o.systemDir);
    modUpdate::SetRegisterCommand(o.registerCommand);
    kx::UpdateLimits limits = modUpdate::GetUpdateLimits();
    limits.allowRegistration = !o.registerCommand.isEmpty();  // naming the command is opting in
    limits.allowAbsoluteTargets = o.allowAbsoluteTargets;
    modUpdate::SetUpdateLimits(limits);
    kxupdate::HeadlessPrompts prompts(o.answers);
    return o.command == QLatin1String("de") ? updateLibrary(o, prompts) : updatePrices(o, prompts);
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
