#include "headless.h"

#include <QAbstractButton>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTableWidget>
#include <cstdio>

#include "core/io/downloadcontrol.h"
#include "widgets/controls/formchrome.h"
#include "widgets/update/frmpub_download.h"
#include "widgets/update/frmpub_download_price.h"

namespace kxupdate {
namespace {

constexpr qint64 kProgressLineIntervalMs = 500;

void printLine(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void click(QDialog& dialog, const char* buttonName) {
    if (auto* button = dialog.findChild<QAbstractButton*>(QLatin1String(buttonName))) button->click();
}

/// Runs the event loop until `dialog` has closed.
void waitUntilClosed(QDialog& dialog) {
    if (!dialog.isVisible()) return;
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int HeadlessDialogs::exec(QDialog& dialog) {
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    const QString name = dialog.objectName();
    if (name == QLatin1String("frmPub_DownLoad"))
        followDownload(dialog);
    else if (name == QLatin1String("frmNet_UpdateDEInfo"))
        answerInformation(dialog);
    else if (name == QLatin1String("frmPub_DownLoad_Price"))
        answerPriceSelection(dialog);
    else
        dialog.reject();
    waitUntilClosed(dialog);
    return dialog.result();
}

void HeadlessDialogs::followDownload(QDialog& dialog) {
    auto* status = dialog.findChild<QLabel*>(QStringLiteral("lbl"));
    auto echo = [status] {
        if (!status->text().isEmpty()) printLine(status->text());
    };
    echo();  // the title: the transfer begins once the event loop runs
    if (m_followed.contains(&dialog)) return;
    m_followed.insert(&dialog);
    auto& form = static_cast<frmPub_DownLoad&>(dialog);
    auto lastProgress = std::make_shared<QElapsedTimer>();
    kx::DownloadControl& control = form.control();
    QObject::connect(&control, &kx::DownloadControl::transferBegan, &dialog, echo);
    QObject::connect(&control, &kx::DownloadControl::connecting, &dialog, echo);
    QObject::connect(&control, &kx::DownloadControl::failed, &dialog, echo);
    QObject::connect(&control, &kx::DownloadControl::completed, &dialog, echo);
    QObject::connect(&control, &kx::DownloadControl::progress, &dialog, [echo, lastProgress] {
        if (lastProgress->isValid() && lastProgress->elapsed() < kProgressLineIntervalMs) return;
        lastProgress->start();
        echo();
    });
}

void HeadlessDialogs::answerInformation(QDialog& dialog) {
    if (auto* title = dialog.findChild<QLabel*>(QStringLiteral("lblTitle"))) printLine(title->text());
    if (auto* grid = dialog.findChild<QTableWidget*>()) {
        for (int row = 1; row < grid->rowCount(); ++row)
            if (grid->item(row, 1) != nullptr) printLine(QStringLiteral("  - ") + grid->item(row, 1)->text());
    }
    click(dialog, m_answers.yes ? "cmdSure" : "cmdCancel");
}

void HeadlessDialogs::answerPriceSelection(QDialog& dialog) {
    auto* grid = dialog.findChild<QTableWidget*>(QStringLiteral("grdPrice"));
    for (int row = 0; grid != nullptr && row < grid->rowCount(); ++row) {
        QTableWidgetItem* box = grid->item(row, frmPub_DownLoad_Price::ColUpdate);
        const QString file = grid->item(row, frmPub_DownLoad_Price::ColFile)->text();
        // "*" stands for the red text of a new or changed file.
        const bool marked = grid->item(row, frmPub_DownLoad_Price::ColName)->foreground() ==
                            QBrush(kx::basicPaletteColor(12));
        const QString mark = grid->item(row, frmPub_DownLoad_Price::ColState)->text() + (marked ? "*" : "");
        printLine(QStringLiteral("  %1 %2 %3")
                      .arg(mark, -4)
                      .arg(grid->item(row, frmPub_DownLoad_Price::ColName)->text(), file));
        if (!(box->flags() & Qt::ItemIsUserCheckable)) continue;
        const QString title = file.section(QLatin1Char('.'), 0, 0);
        if (m_answers.allPriceFiles || m_answers.priceFiles.contains(file) ||
            m_answers.priceFiles.contains(title))
            box->setCheckState(Qt::Checked);
    }
    click(dialog, "cmdStar");
}

kx::MessageAnswer HeadlessMessages::show(const kx::MessageBoxSpec& spec, QObject*) {
    printLine(spec.title + QStringLiteral(": ") + spec.text);
    if (spec.buttons == kx::MessageBoxSpec::Buttons::Ok) return kx::MessageAnswer::Ok;
    return m_yes ? kx::MessageAnswer::Yes : kx::MessageAnswer::No;
}

}  // namespace kxupdate
