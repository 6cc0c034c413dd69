#include "widgets/services/dialogs.h"

#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "core/services/logging.h"

namespace kx {
namespace {

/// Real modal dialogs.
class QtDialogService : public DialogService {
public:
    int exec(QDialog& dialog) override { return dialog.exec(); }
};

std::unique_ptr<DialogService>& current() {
    static std::unique_ptr<DialogService> service = std::make_unique<QtDialogService>();
    return service;
}

/// Runs the event loop until `dialog` has finished or `timeoutMs` has passed; true when it finished.
bool waitUntilFinished(QDialog& dialog, int timeoutMs) {
    if (!dialog.isVisible()) return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    return !dialog.isVisible();
}

}  // namespace

DialogService& dialogService() {
    return *current();
}

std::unique_ptr<DialogService> setDialogService(std::unique_ptr<DialogService> service) {
    std::unique_ptr<DialogService> previous = std::move(current());
    current() = service ? std::move(service) : std::make_unique<QtDialogService>();
    return previous;
}

void centreOver(QWidget& dialog, const QWidget* host) {
    if (host == nullptr) return;
    const QWidget* window = host->window();
    if (!dialog.testAttribute(Qt::WA_Resized)) dialog.adjustSize();
    const QRect frame = window->frameGeometry();
    QRect placed(QPoint(0, 0), dialog.size());
    placed.moveCenter(frame.center());
    dialog.move(placed.topLeft());
}

void ScriptedDialogService::queue(const QString& dialogName, Script script) {
    m_scripts.append({dialogName, std::move(script)});
}

int ScriptedDialogService::exec(QDialog& dialog) {
    m_shown << dialog.objectName();
    // QDialog::exec() starts from a clean result; so does a scripted run.
    dialog.setResult(QDialog::Rejected);
    const auto it = std::find_if(m_scripts.begin(), m_scripts.end(),
                                 [&](const Entry& e) { return e.dialogName == dialog.objectName(); });
    if (it == m_scripts.end()) {
        qCWarning(lcKxView) << "no script for dialog" << dialog.objectName() << "- rejected";
        return QDialog::Rejected;
    }
    const Script script = std::move(it->script);
    m_scripts.erase(it);
    dialog.show();
    script(dialog);
    if (!waitUntilFinished(dialog, m_finishTimeoutMs)) {
        m_timedOut << dialog.objectName();
        dialog.reject();
    }
    return dialog.result();
}

}  // namespace kx
