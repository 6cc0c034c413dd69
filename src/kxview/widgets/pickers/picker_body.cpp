#include "widgets/pickers/picker_body.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "widgets/controls/kxtree.h"
#include "widgets/controls/kxwebtext.h"
#include "widgets/controls/treeimages.h"

namespace kx {

namespace {

/// Presses a button when Return or Enter reaches the form, which it does when no child took the key
/// (the tree lets it through).
class EnterPresses : public QObject {
public:
    EnterPresses(KXPicture* button, QObject* parent) : QObject(parent), m_button(button) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !m_button->isVisible() ||
            !m_button->isEnabled())
            return false;
        m_button->click();
        return true;
    }

private:
    KXPicture* m_button;
};

}  // namespace

PickerBody::PickerBody(QDialog& form, qint16 nodeImage)
    : tree(new KXTree(&form)), lbl1(new QLabel(&form)), description(new KXWebText(&form)), m_form(form) {
    tree->setObjectName(QStringLiteral("tree"));
    tree->setNodeImage(nodeImage);
    tree->setImageList(pickerTreeImages());
    tree->setMinimumWidth(300);
    lbl1->setObjectName(QStringLiteral("lbl1"));
    lbl1->setMinimumHeight(lbl1->fontMetrics().height() + 6);
    description->setObjectName(QStringLiteral("KXWebText1"));
    description->setMinimumWidth(260);

    auto* entry = new QVBoxLayout;
    entry->addWidget(lbl1);
    entry->addWidget(description, 1);
    auto* panes = new QHBoxLayout;
    panes->addWidget(tree, 3);
    panes->addLayout(entry, 2);

    m_actions = new QHBoxLayout;
    m_confirm = new QHBoxLayout;
    auto* buttons = new QHBoxLayout;
    buttons->addLayout(m_actions);
    buttons->addStretch();
    buttons->addLayout(m_confirm);

    auto* layout = new QVBoxLayout(&form);
    layout->addLayout(panes, 1);
    layout->addLayout(buttons);
    form.resize(640, 420);
}

void PickerBody::showEntryInfo(const QString& label, const QString& text) {
    lbl1->setText(label);
    description->SetAppPath(m_appPath);
    description->SetText(text);
}

KXPicture* PickerBody::addButton(const char* name, KXPicture::Picture picture, const QString& caption,
                                 bool confirming) {
    auto* button = new KXPicture(picture, caption, &m_form);
    button->setObjectName(QLatin1String(name));
    (confirming ? m_confirm : m_actions)->addWidget(button);
    return button;
}

void PickerBody::pressOnEnter(KXPicture* button) {
    delete m_enterPresses;
    m_enterPresses = nullptr;
    if (button == nullptr) return;
    m_enterPresses = new EnterPresses(button, &m_form);
    m_form.installEventFilter(m_enterPresses);
}

}  // namespace kx
