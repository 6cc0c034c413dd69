#include "widgets/services/guard.h"

#include <exception>

#include "core/services/logging.h"
#include "core/services/messages.h"

namespace kx {

void runGuarded(QWidget* parent, const char* what, const std::function<void()>& handler) {
    QString error;
    try {
        handler();
        return;
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    } catch (...) {
        error = QStringLiteral("unknown error");
    }
    qCWarning(lcKxView) << what << "failed:" << error;
    MessageBoxSpec box;
    box.text = error;
    box.title = QStringLiteral("提示");
    box.icon = MessageBoxSpec::Icon::Warning;
    messageService().show(box, parent);
}

}  // namespace kx
