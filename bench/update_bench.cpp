// update_bench: the update machinery's hot paths, timed inside the process so that they can be set
// against curl and unzip doing the same work.
//
//   update_bench make-package FILE MEGABYTES   a ZIP package of about that size (half of it compressible)
//   update_bench download URL FOLDER           fetch through the download dialog, shown offscreen
//   update_bench extract ARCHIVE FOLDER        extract as UnZipArchive does
//
// download prints the transfer time, its rate and the longest pause between two paints of the dialog's
// status line; extract prints the extraction time.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>
#include <cstdio>

#include "core/io/downloadcontrol.h"
#include "core/io/ziparchive.h"
#include "paint_clock.h"
#include "publish/packages.h"
#include "widgets/services/dialogs.h"
#include "widgets/update/frmpub_download.h"

namespace {

/// Shows each dialog and runs the event loop until it closes, as a user who waits would.
class WaitingDialogs : public kx::DialogService {
public:
    int exec(QDialog& dialog) override {
        dialog.show();
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        if (dialog.isVisible()) loop.exec();
        return dialog.result();
    }
};

int makePackage(const QString& file, int megabytes) {
    // Four fifths incompressible bytes, and library-like text that compresses about five to one.
    const auto size = static_cast<size_t>(megabytes) * 1024 * 1024;
    QRandomGenerator random(2024);
    std::vector<uint8_t> noise(size * 8 / 10);
    random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    static const char* words[] = {"混凝土", "钢筋",  "砌筑", "模板", "C30",
                                  "m3",     "100m2", "人工", "机械", "材料"};
    std::string block;
    while (block.size() < (1u << 20))
        block += std::string(words[random.bounded(10)]) + (random.bounded(8) ? " " : "\r\n");
    std::string text;
    while (text.size() < size) text += block;
    const jet::Status status = publish::writeZip(
        QFile::encodeName(file).toStdString(),
        {publish::ZipMember("Update.xml", {'<', 'U', 'p', 'd', 'a', 't', 'e', '/', '>'}),
         publish::ZipMember("定额库/大型定额库.QTDE", std::vector<uint8_t>(text.begin(), text.end())),
         publish::ZipMember("换算库/随机.QTHS", std::move(noise))});
    if (!status.ok()) std::fprintf(stderr, "%s\n", status.toString().c_str());
    std::printf("package %lld bytes\n", static_cast<long long>(QFileInfo(file).size()));
    return status.ok() ? 0 : 1;
}

int download(const QString& url, const QString& folder) {
    kx::setDialogService(std::make_unique<WaitingDialogs>());
    frmPub_DownLoad dialog;
    kxtest::PaintClock clock(dialog.findChild<QLabel*>(QStringLiteral("lbl")));
    QElapsedTimer transfer;
    QObject::connect(&dialog.control(), &kx::DownloadControl::transferBegan, [&] { transfer.start(); });
    qint64 elapsed = 0;
    QObject::connect(&dialog.control(), &kx::DownloadControl::completed,
                     [&] { elapsed = transfer.nsecsElapsed(); });
    dialog.SetURL(url);
    dialog.SetSaveAsFullName(folder + QLatin1Char('/'));
    dialog.SetAutoDownLoad(true);
    dialog.SetCompleteClose(true);
    dialog.showModal();
    if (!dialog.GetCompleteDownLoad()) return 1;
    const double seconds = static_cast<double>(elapsed) / 1e9;
    const qint64 bytes = QFileInfo(dialog.control().savedFile()).size();
    std::printf("download %lld bytes in %.4f s = %.1f MB/s, longest pause between paints %lld ms\n",
                static_cast<long long>(bytes), seconds, static_cast<double>(bytes) / 1048576.0 / seconds,
                static_cast<long long>(clock.longestGapMs()));
    return 0;
}

int extract(const QString& archive, const QString& folder) {
    QElapsedTimer clock;
    clock.start();
    const kx::UnzipResult result = kx::extractZip(archive, folder, {});
    std::printf("extract %.4f s, result %d\n", static_cast<double>(clock.nsecsElapsed()) / 1e9, int(result));
    return result == kx::UnzipResult::Ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("make-package"))
        return makePackage(args[2], args[3].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("download")) return download(args[2], args[3]);
    if (args.size() == 4 && args[1] == QLatin1String("extract")) return extract(args[2], args[3]);
    std::fprintf(stderr,
                 "usage: update_bench make-package FILE MB | download URL FOLDER | extract ARCHIVE FOLDER\n");
    return 2;
}
