#include "widgets/controls/kxtext.h"

#include <QLineEdit>
#include <QVBoxLayout>

namespace kx {

KXText::KXText(QWidget* parent) : QWidget(parent), m_edit(new QLineEdit(this)) {
    m_edit->setObjectName(QStringLiteral("edit"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    setFocusProxy(m_edit);
    connect(m_edit, &QLineEdit::returnPressed, this, &KXText::EnterPressed);
}

QString KXText::Text() const {
    return m_edit->text();
}

void KXText::setText(const QString& text) {
    m_edit->setText(text);
}

}  // namespace kx
