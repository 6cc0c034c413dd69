#include "widgets/services/guard.h"

#include <QWidget>
#include <exception>

#include "core/services/logging.h"
#include "core/services/messages.h"

namespace kx {

void runGuarded(QWidget* parent, const QString& what, const std::function<void()>& handler) {
    QString error;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    } catch (...) {
        error = QStringLiteral("unknown error");
    }
    qCWarning(lcKxView).noquote() << what << "failed:" << error;
    showWarning(error, QStringLiteral("提示"), parent);
}

}  // namespace kx
