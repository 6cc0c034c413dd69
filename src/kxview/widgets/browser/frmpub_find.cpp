#include "widgets/browser/frmpub_find.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "widgets/controls/kxpicture.h"
#include "widgets/controls/kxtext.h"
#include "widgets/services/dialogs.h"

namespace kx {
namespace {

QRadioButton* option(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

/// A frame titled `caption` holding `options` one below the other.
QGroupBox* frame(const char* name, const QString& caption, const QList<QRadioButton*>& options) {
    auto* box = new QGroupBox(caption);
    box->setObjectName(QLatin1String(name));
    auto* layout = new QVBoxLayout(box);
    for (QRadioButton* o : options) {
        o->setParent(box);
        layout->addWidget(o);
    }
    layout->addStretch();
    return box;
}

}  // namespace

frmPub_Find::frmPub_Find(QWidget* parent)
    : QDialog(parent),
      m_optkind1(option("optkind1", QStringLiteral("1.模糊查找"), this)),
      m_optKind2(option("optKind2", QStringLiteral("2.精确查找"), this)),
      m_opt1(option("opt1", QStringLiteral("1.编号"), this)),
      m_opt2(option("opt2", QStringLiteral("2.名称"), this)),
      m_opt3(option("opt3", QStringLiteral("3.单位"), this)),
      m_txtFindName(new KXText(this)) {
    setObjectName(QStringLiteral("frmPub_Find"));
    setWindowTitle(QStringLiteral("查找与替换"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_txtFindName->setObjectName(QStringLiteral("txtFindName"));
    auto* lbl1 = new QLabel(QStringLiteral("查找内容："), this);
    lbl1->setObjectName(QStringLiteral("lbl1"));
    auto* cmdSure = new KXPicture(KXPicture::Picture::Confirm, QStringLiteral("确定"), this);
    cmdSure->setObjectName(QStringLiteral("cmdSure"));
    auto* cmdCancel = new KXPicture(KXPicture::Picture::Cancel, QStringLiteral("取消"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* frames = new QHBoxLayout;
    frames->addWidget(frame("fra1", QStringLiteral("查找方式"), {m_optkind1, m_optKind2}));
    frames->addWidget(frame("fra", QStringLiteral("查找内容"), {m_opt1, m_opt2, m_opt3}));
    auto* text = new QHBoxLayout;
    text->addWidget(lbl1);
    text->addWidget(m_txtFindName, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSure);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(text);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_txtFindName->setMinimumWidth(260);

    connect(cmdSure, &QToolButton::clicked, this, &frmPub_Find::cmdSure_Click);
    connect(m_txtFindName, &KXText::EnterPressed, this, &frmPub_Find::cmdSure_Click);
    connect(cmdCancel, &QToolButton::clicked, this, &frmPub_Find::cmdCancel_Click);
}

void frmPub_Find::ShowModal() {
    Form_Load();
    dialogService().exec(*this);
}

void frmPub_Find::Form_Load() {
    m_unloadState = 1;
    m_txtFindName->setText(m_findName);
    m_opt2->setChecked(true);
    m_optkind1->setChecked(true);
    m_txtFindName->setFocus();
}

void frmPub_Find::cmdSure_Click() {
    m_unloadState = 0;
    m_findName = m_txtFindName->Text();
    m_rangeKind = m_opt1->isChecked() ? 0 : m_opt2->isChecked() ? 1 : 2;
    m_findKind = m_optkind1->isChecked() ? 1 : 0;
    accept();
}

void frmPub_Find::cmdCancel_Click() {
    m_unloadState = 1;
    reject();
}

}  // namespace kx
