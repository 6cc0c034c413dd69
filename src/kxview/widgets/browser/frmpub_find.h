// frmPub_Find: the find dialog. It asks for a text, the field to search (code, name or unit) and whether
// the field must contain or equal the text, and remembers the last confirmed text while it lives.
#pragma once

#include <QDialog>
#include "kxview/kxview_export.h"

class QRadioButton;

namespace kx {

class KXText;

/// The find dialog (caption "查找与替换"). One instance serves every search (see sharedForm), so the text
/// confirmed last is offered again. Child controls by objectName: "fra1" with "optkind1" (contains) and
/// "optKind2" (equals), "fra" with "opt1" (code), "opt2" (name) and "opt3" (unit), "lbl1", "txtFindName",
/// "cmdSure", "cmdCancel".
class KXVIEW_EXPORT frmPub_Find : public QDialog {
    Q_OBJECT

public:
    explicit frmPub_Find(QWidget* parent = nullptr);

    /// Shows the dialog modally through the dialog service: the last confirmed text in the text box,
    /// "2.名称" and "1.模糊查找" selected whatever was chosen before.
    void ShowModal();

    /// 0 when the user confirmed, 1 when the dialog was cancelled or closed.
    qint32 GetUnloadState() const { return m_unloadState; }
    /// The text to find.
    QString GetFindName() const { return m_findName; }
    /// The field to search: 0 code, 1 name, 2 unit.
    qint32 GetRangeKind() const { return m_rangeKind; }
    /// 1 when the field must contain the text, 0 when it must equal it.
    qint32 GetFindKind() const { return m_findKind; }

private:
    void Form_Load();
    void cmdSure_Click();
    void cmdCancel_Click();

    qint32 m_unloadState = 1;
    QString m_findName;
    qint32 m_rangeKind = 1;
    qint32 m_findKind = 1;

    QRadioButton* m_optkind1;
    QRadioButton* m_optKind2;
    QRadioButton* m_opt1;
    QRadioButton* m_opt2;
    QRadioButton* m_opt3;
    KXText* m_txtFindName;
};

}  // namespace kx
