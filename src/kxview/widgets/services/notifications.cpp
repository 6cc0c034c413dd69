#include "widgets/services/notifications.h"

#include "core/services/logging.h"
#include "core/services/messages.h"

namespace kx {

void reportError(QWidget* parent, const QString& what, const std::exception& error) {
    const QString text = QString::fromUtf8(error.what());
    qCWarning(lcKxView).noquote() << what << "failed:" << text;
    MessageBoxSpec spec;
    spec.text = text;
    spec.title = QStringLiteral("提示");
    spec.icon = MessageBoxSpec::Icon::Warning;
    spec.buttons = MessageBoxSpec::Buttons::Ok;
    messageService().show(spec, parent);
}

}  // namespace kx
