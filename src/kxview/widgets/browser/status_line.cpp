#include "widgets/browser/status_line.h"

#include "core/services/logging.h"
#include "kxview/errors.h"

namespace kx {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("lblStatus"));
    setTextFormat(Qt::PlainText);
    setContentsMargins(4, 0, 4, 0);
}

void StatusLine::setListInfo(const QString& text) {
    m_listInfo = text;
    refresh();
}

void StatusLine::showRowFailure(const QString& userText, const QString& detail) {
    if (!m_logged.contains(detail)) {
        m_logged.insert(detail);
        qCWarning(lcKxView).noquote() << "row change failed:" << detail;
    }
    m_failure = userText;
    refresh();
}

void StatusLine::clearRowFailure() {
    if (m_failure.isEmpty()) return;
    m_failure.clear();
    refresh();
}

void StatusLine::refresh() {
    setStyleSheet(m_failure.isEmpty() ? QString() : QStringLiteral("color: rgb(200, 0, 0);"));
    setText(m_failure.isEmpty() ? m_listInfo : m_failure);
    setToolTip(m_failure);
}

QString describeRowFailure(const std::exception& failure, const QString& relatedKey) {
    const auto* db = dynamic_cast<const DbError*>(&failure);
    if (db == nullptr) return QStringLiteral("无法显示当前行的内容。");
    if (!relatedKey.isEmpty() && db->code() == jet::Status::Code::NotFound)
        return QStringLiteral("本机没有安装键为“%1”的定额库，无法显示这条相关定额的内容。").arg(relatedKey);
    switch (db->code()) {
        case jet::Status::Code::NotFound:
            return QStringLiteral("找不到显示当前行所需的资料文件或数据表。");
        case jet::Status::Code::Corruption:
            return QStringLiteral("资料文件已损坏，无法显示当前行的内容。");
        case jet::Status::Code::IOError:
            return QStringLiteral("无法读取资料文件，当前行的内容没有显示。");
        default:
            return QStringLiteral("读取资料时出错，当前行的内容没有显示。");
    }
}

}  // namespace kx
