// frmPub_SelectDE: the form of the quota-library picker. What it decides is kx::QuotaLibraryPicker's; the
// form shows the tree and the selected entry and passes the user's clicks on.
#include "kxview/frmpub_selectde.h"

#include "core/pickers/quota_library_picker.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/treeimages.h"
#include "widgets/pickers/picker_body.h"
#include "widgets/services/dialogs.h"
#include "widgets/services/guard.h"
#include "widgets/services/messageboxes.h"
#include "widgets/update/update_dialogs.h"

namespace kx {

struct frmPub_SelectDE::Private {
    explicit Private(frmPub_SelectDE& form)
        : q(form),
          body(form, kQuotaLibraryImage),
          picker(*body.tree, body, updates),
          cmdUpdate(
              body.addButton("cmdUpdate", KXPicture::Picture::Download, QStringLiteral("  远程更新"), false)),
          cmdSure(body.addButton("cmdSure", KXPicture::Picture::Confirm, QStringLiteral("确定"), true)),
          cmdCancel(body.addButton("cmdCancel", KXPicture::Picture::Cancel, QStringLiteral("取消"), true)) {
        picker.setMessageParent(&form);
    }

    /// Runs a click's handler; a failure is shown over the form and goes no further.
    void guarded(const QString& what, const std::function<void()>& handler) { runGuarded(&q, what, handler); }
    /// Closes the form when `chose` (a library was chosen).
    void closeIf(bool chose) {
        if (chose) q.accept();
    }

    frmPub_SelectDE& q;
    UpdateDialogs updates;
    PickerBody body;
    QuotaLibraryPicker picker;
    KXPicture* cmdUpdate;
    KXPicture* cmdSure;
    KXPicture* cmdCancel;
};

frmPub_SelectDE::frmPub_SelectDE(QWidget* parent) : QDialog(parent), d(std::make_unique<Private>(*this)) {
    useMessageBoxes();
    setObjectName(QStringLiteral("frmPub_SelectDE"));
    setWindowTitle(QStringLiteral("选择定额"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(d->body.tree, &KXTree::NodeClick, this,
            [this] { d->guarded(QStringLiteral("quota picker: node click"), [this] { RefeshNodeInfo(); }); });
    connect(d->body.tree, &KXTree::NodeDblClick, this, [this] {
        d->guarded(QStringLiteral("quota picker: double-click"),
                   [this] { d->closeIf(d->picker.chooseByDoubleClick()); });
    });
    connect(d->cmdSure, &QToolButton::clicked, this, [this] {
        d->guarded(QStringLiteral("quota picker: choose"), [this] { d->closeIf(d->picker.choose()); });
    });
    connect(d->cmdCancel, &QToolButton::clicked, this, &QDialog::reject);
    connect(d->cmdUpdate, &QToolButton::clicked, this, [this] {
        d->guarded(QStringLiteral("quota picker: update"), [this] { d->picker.updateSelected(); });
    });
}

frmPub_SelectDE::~frmPub_SelectDE() = default;

void frmPub_SelectDE::setEnterChooses(bool on) {
    d->body.pressOnEnter(on ? d->cmdSure : nullptr);
}

void frmPub_SelectDE::SetAppPath(const QString& value) {
    d->picker.state.AppPath = value;
    d->body.setAppPath(value);
}

void frmPub_SelectDE::SetPath(const QString& value) {
    d->picker.state.Path = value;
}

void frmPub_SelectDE::SetDBName(const QString& value) {
    d->picker.state.DBName = value;
}

void frmPub_SelectDE::SetExtension(const QString& value) {
    d->picker.state.Extension = value;
}

void frmPub_SelectDE::SetUserName(const QString& value) {
    d->picker.state.UserName = value;
}

void frmPub_SelectDE::SetDefaultName(const QString& value) {
    d->picker.state.DefaultName = value;
}

QString frmPub_SelectDE::GetOpenFileFullName() const {
    return d->picker.state.OpenFileFullName;
}

void frmPub_SelectDE::setOpenFileFullName(const QString& value) {
    d->picker.state.OpenFileFullName = value;
}

qint32 frmPub_SelectDE::GetUnloadState() const {
    return d->picker.state.UnloadState;
}

void frmPub_SelectDE::showModal() {
    d->picker.open();
    dialogService().exec(*this);
}

void frmPub_SelectDE::RefeshNodeInfo() {
    d->picker.RefeshNodeInfo();
}

}  // namespace kx
