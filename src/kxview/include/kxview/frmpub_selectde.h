// frmPub_SelectDE: the picker in which the user chooses a quota library of a catalogued folder. Every
// opening registers the folder's libraries in its catalogue; entries whose library is missing are marked
// and offered for download from the update service (modUpdate::SetUpdateBaseAddress).
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// The quota-library picker (caption "选择定额"). Set its properties, call showModal, then read
/// GetUnloadState: 0 means GetOpenFileFullName holds the library to open. The browser uses one shared
/// instance. Child controls by objectName: "tree" (the catalogue's entries, shown by the
/// QTreeView inside it), "lbl1", "KXWebText1", "cmdSure" "确定", "cmdCancel"
/// "取消", "cmdUpdate" "  远程更新". Failures while it handles the user's clicks are shown in a box titled
/// "提示".
class KXVIEW_EXPORT frmPub_SelectDE : public QDialog {
    Q_OBJECT

public:
    explicit frmPub_SelectDE(QWidget* parent = nullptr);
    ~frmPub_SelectDE() override;

    /// The application directory, ending with a separator.
    void SetAppPath(const QString& value);
    /// The folder of the quota libraries and of their catalogue, ending with a separator.
    void SetPath(const QString& value);
    /// The catalogue's file name inside the folder ("DEIndex.mdb").
    void SetDBName(const QString& value);
    /// The extension of the library files (".QTDE").
    void SetExtension(const QString& value);
    /// Kept; the picker does not use it.
    void SetUserName(const QString& value);
    /// The Name of the catalogue entry selected on opening ("" for none).
    void SetDefaultName(const QString& value);
    /// Whether Return and Enter choose the selected entry as 确定 does (off in a new form).
    void setEnterChooses(bool on);

    /// The chosen library's full name.
    QString GetOpenFileFullName() const;
    void setOpenFileFullName(const QString& value);
    /// 1 from opening until a library is chosen, then 0.
    qint32 GetUnloadState() const;

    /// Opens the picker (the folder's libraries registered, the catalogue loaded, missing libraries
    /// marked) and shows it modally; returns when it has closed. Throws kx::FileSystemError when the
    /// catalogue is missing and its template cannot be copied, kx::DbError when a library of the folder
    /// cannot be registered (one without a KeyInfo 'Name') or the catalogue cannot be read.
    void showModal();

    /// Shows the selected entry: author, date and description of its library, or the warning that it is
    /// not installed. Throws kx::DbError when a file cannot be read.
    void RefeshNodeInfo();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
