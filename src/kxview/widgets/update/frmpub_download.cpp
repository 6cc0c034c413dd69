#include "widgets/update/frmpub_download.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "core/io/downloadcontrol.h"
#include "core/update/download.h"
#include "widgets/controls/formchrome.h"
#include "widgets/services/dialogs.h"
#include "widgets/services/guard.h"

namespace {

constexpr int kCloseSide = 18;
constexpr int kProgressSteps = 1000;

QLabel* closeImage(QWidget* parent, const char* name, bool highlighted) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setPixmap(kx::closeGlyph(kCloseSide, highlighted));
    label->setFixedSize(kCloseSide, kCloseSide);
    return label;
}

}  // namespace

frmPub_DownLoad::frmPub_DownLoad(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_dl(new kx::DownloadControl(this)) {
    setObjectName(QStringLiteral("frmPub_DownLoad"));
    setWindowTitle(QStringLiteral("下载"));
    m_dl->setObjectName(QStringLiteral("DL"));

    QFrame* body = kx::addDialogBody(this, "#f5f8fc");

    m_lblCaption = new QLabel(QStringLiteral("状态"), body);
    m_lblCaption->setObjectName(QStringLiteral("lblCaption"));
    m_lblCaption->setStyleSheet(QStringLiteral("font-weight: bold; color: #1f3f6f;"));
    m_btn1 = closeImage(body, "btn1", false);
    m_btn2 = closeImage(body, "btn2", true);
    m_btn2->hide();
    m_btn1->installEventFilter(this);
    m_btn2->installEventFilter(this);
    auto* top = new QHBoxLayout;
    top->addWidget(m_lblCaption);
    top->addStretch();
    top->addWidget(m_btn1);

    m_lbl = new QLabel(body);
    m_lbl->setObjectName(QStringLiteral("lbl"));
    m_lbl->setMinimumWidth(330);
    m_progress = new QProgressBar(body);
    m_progress->setObjectName(QStringLiteral("prgDownload"));
    m_progress->setRange(0, kProgressSteps);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(12);

    m_cmdStart = new QPushButton(QStringLiteral("开始(&S)"), body);
    m_cmdStart->setObjectName(QStringLiteral("cmdStart"));
    m_cmdCancel = new QPushButton(QStringLiteral("取消"), body);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdStart);
    buttons->addWidget(m_cmdCancel);

    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(12, 8, 8, 10);
    column->addLayout(top);
    column->addWidget(m_lbl);
    column->addWidget(m_progress);
    column->addLayout(buttons);

    connect(m_cmdStart, &QPushButton::clicked, this, &frmPub_DownLoad::startFromButton);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmPub_DownLoad::cmdCancel_Click);
    // The status line first, so that it shows the outcome before the dialog closes on it.
    auto* status = new kx::DownloadStatus(*m_dl, this);
    connect(status, &kx::DownloadStatus::statusChanged, this, &frmPub_DownLoad::showStatus);
    connect(status, &kx::DownloadStatus::progressed, this, &frmPub_DownLoad::onProgress);
    connect(m_dl, &kx::DownloadControl::completed, this, &frmPub_DownLoad::onCompleted);
}

void frmPub_DownLoad::showModal() {
    Form_Load();
    kx::dialogService().exec(*this);
}

void frmPub_DownLoad::Form_Load() {
    if (!m_title.isEmpty()) m_lbl->setText(m_title);
    m_btn2->hide();
    m_btn2->setGeometry(m_btn1->geometry());
    m_progress->setValue(0);
    m_completeDownLoad = false;
    m_unloadState = 1;
    m_cmdStart->setVisible(!m_autoDownLoad);
    if (m_autoDownLoad) StartDownLoad();
}

void frmPub_DownLoad::StartDownLoad() {
    kx::startDownload(*m_dl, m_url, m_saveAsFullName);
}

void frmPub_DownLoad::startFromButton() {
    kx::runGuarded(this, QStringLiteral("starting the download"), [this] { StartDownLoad(); });
}

void frmPub_DownLoad::showStatus(const QString& text, bool repaintNow) {
    m_lbl->setText(text);
    if (repaintNow) m_lbl->repaint();
}

void frmPub_DownLoad::onProgress(const QString& text, float fraction) {
    showStatus(text, false);
    m_progress->setValue(static_cast<int>(std::lround(qBound(0.0f, fraction, 1.0f) * kProgressSteps)));
}

void frmPub_DownLoad::onCompleted(qint32 bytes) {
    if (bytes < 1) {
        m_completeDownLoad = false;
        if (m_autoDownLoad) done(QDialog::Rejected);
        return;
    }
    m_progress->setValue(kProgressSteps);
    if (m_completeClose) {
        m_unloadState = 0;
        m_completeDownLoad = true;
        done(QDialog::Accepted);
    } else if (m_autoDownLoad) {
        done(QDialog::Rejected);
    }
}

void frmPub_DownLoad::cmdCancel_Click() {
    m_dl->cancel();
    done(QDialog::Rejected);
}

void frmPub_DownLoad::done(int result) {
    if (m_dl->isRunning()) m_dl->cancel();
    QDialog::done(result);
}

bool frmPub_DownLoad::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_btn1 && event->type() == QEvent::Enter) {
        m_btn2->setGeometry(m_btn1->geometry());
        m_btn2->show();
        m_btn2->raise();
    } else if (watched == m_btn2 && event->type() == QEvent::Leave) {
        m_btn2->hide();  // the mouse moved on to the form
    } else if (watched == m_btn2 && event->type() == QEvent::MouseButtonRelease) {
        done(QDialog::Rejected);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
