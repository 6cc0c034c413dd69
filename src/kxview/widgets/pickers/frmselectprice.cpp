// frmSelectPrice: the form of the price-file picker. What it decides is kx::PriceFilePicker's; the form
// shows the tree and the selected entry and passes the user's clicks on.
#include "kxview/frmselectprice.h"

#include "core/pickers/price_file_picker.h"
#include "widgets/controls/kxtree.h"
#include "widgets/controls/openfiledialog.h"
#include "widgets/controls/treeimages.h"
#include "widgets/pickers/picker_body.h"
#include "widgets/services/dialogs.h"
#include "widgets/services/guard.h"
#include "widgets/services/messageboxes.h"
#include "widgets/update/update_dialogs.h"

namespace kx {

struct frmSelectPrice::Private {
    explicit Private(frmSelectPrice& form)
        : q(form),
          body(form, kPriceFileImage),
          picker(*body.tree, body, updates),
          cmdDel(body.addButton("cmdDel", KXPicture::Picture::Delete, QStringLiteral("删除"), false)),
          cmdOther(body.addButton("cmdOther", KXPicture::Picture::Import, QStringLiteral("导入..."), false)),
          cmdUpdate(
              body.addButton("cmdUpdate", KXPicture::Picture::Download, QStringLiteral("  远程更新"), false)),
          cmdSure(body.addButton("cmdSure", KXPicture::Picture::Confirm, QStringLiteral("确定"), true)),
          cmdCancel(body.addButton("cmdCancel", KXPicture::Picture::Cancel, QStringLiteral("取消"), true)) {
        picker.setMessageParent(&form);
    }

    /// Runs a click's handler; a failure is shown over the form and goes no further.
    void guarded(const QString& what, const std::function<void()>& handler) { runGuarded(&q, what, handler); }
    /// Closes the form when `chose` (a file was chosen).
    void closeIf(bool chose) {
        if (chose) q.accept();
    }
    /// The buttons as the settings want them on this opening.
    void applyButtonSettings() {
        const PriceFilePickerState& s = picker.state;
        cmdDel->setVisible(s.HideCmd_Del != 1);
        cmdOther->setVisible(s.HideCmd_Other != 1);
        cmdUpdate->setVisible(s.HideCmd_Update != 1);
        cmdOther->setText(s.CanOpenOther ? QStringLiteral("浏览...") : QStringLiteral("导入..."));
    }

    frmSelectPrice& q;
    UpdateDialogs updates;
    PickerBody body;
    PriceFilePicker picker;
    KXPicture* cmdDel;
    KXPicture* cmdOther;
    KXPicture* cmdUpdate;
    KXPicture* cmdSure;
    KXPicture* cmdCancel;
};

frmSelectPrice::frmSelectPrice(QWidget* parent) : QDialog(parent), d(std::make_unique<Private>(*this)) {
    useMessageBoxes();
    useFileDialogs();
    setObjectName(QStringLiteral("frmSelectPrice"));
    setWindowTitle(QStringLiteral("文件目录"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(d->body.tree, &KXTree::NodeClick, this,
            [this] { d->guarded(QStringLiteral("price picker: node click"), [this] { RefeshNodeInfo(); }); });
    connect(d->body.tree, &KXTree::NodeDblClick, this, [this] {
        d->guarded(QStringLiteral("price picker: double-click"), [this] { d->closeIf(d->picker.choose()); });
    });
    connect(d->cmdSure, &QToolButton::clicked, this, [this] {
        d->guarded(QStringLiteral("price picker: choose"), [this] { d->closeIf(d->picker.choose()); });
    });
    connect(d->cmdCancel, &QToolButton::clicked, this, &QDialog::reject);
    connect(d->cmdDel, &QToolButton::clicked, this, [this] {
        d->guarded(QStringLiteral("price picker: delete"), [this] { d->picker.deleteSelected(); });
    });
    connect(d->cmdOther, &QToolButton::clicked, this, [this] {
        d->guarded(QStringLiteral("price picker: import"),
                   [this] { d->closeIf(d->picker.importOrBrowse()); });
    });
    connect(d->cmdUpdate, &QToolButton::clicked, this, [this] {
        d->guarded(QStringLiteral("price picker: update"), [this] { d->picker.updateSet(); });
    });
}

frmSelectPrice::~frmSelectPrice() = default;

void frmSelectPrice::setEnterChooses(bool on) {
    d->body.pressOnEnter(on ? d->cmdSure : nullptr);
}

void frmSelectPrice::SetAppPath(const QString& value) {
    d->picker.state.AppPath = value;
    d->body.setAppPath(value);
}

void frmSelectPrice::SetPriceDir(const QString& value) {
    d->picker.state.PriceDir = value;
}

void frmSelectPrice::SetDBName(const QString& value) {
    d->picker.state.DBName = value;
}

void frmSelectPrice::SetExtension(const QString& value) {
    d->picker.state.Extension = value;
}

void frmSelectPrice::SetUserName(const QString& value) {
    d->picker.state.UserName = value;
}

void frmSelectPrice::SetHideCmd_Del(qint16 value) {
    d->picker.state.HideCmd_Del = value;
}

void frmSelectPrice::SetHideCmd_Other(qint16 value) {
    d->picker.state.HideCmd_Other = value;
}

void frmSelectPrice::SetHideCmd_Update(qint16 value) {
    d->picker.state.HideCmd_Update = value;
}

void frmSelectPrice::SetCanOpenOther(bool value) {
    d->picker.state.CanOpenOther = value;
}

void frmSelectPrice::SetDefaultName(const QString& value) {
    d->picker.state.DefaultName = value;
}

QString frmSelectPrice::GetOpenFileFullName() const {
    return d->picker.state.OpenFileFullName;
}

void frmSelectPrice::setOpenFileFullName(const QString& value) {
    d->picker.state.OpenFileFullName = value;
}

qint32 frmSelectPrice::GetUnloadState() const {
    return d->picker.state.UnloadState;
}

void frmSelectPrice::showModal() {
    d->picker.open();
    d->applyButtonSettings();
    dialogService().exec(*this);
}

void frmSelectPrice::CallOtherPriceFile() {
    d->closeIf(d->picker.CallOtherPriceFile());
}

void frmSelectPrice::OpenOtherPriceFile() {
    d->closeIf(d->picker.OpenOtherPriceFile());
}

void frmSelectPrice::RefeshNodeInfo() {
    d->picker.RefeshNodeInfo();
}

}  // namespace kx
