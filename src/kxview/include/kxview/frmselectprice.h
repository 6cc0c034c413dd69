// frmSelectPrice: the picker in which the user chooses a file of a catalogued folder: a material library
// (catalogue "MateIndex.mdb", ".QTCJ") or a price file ("MatePriceIndex.mdb", ".QTJG"). It can also delete
// a price file of the user's own, import a file from elsewhere, browse for any price file, and fetch
// missing or newer price files from the update service (modUpdate::SetUpdateBaseAddress).
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// The price-file picker (caption "文件目录"). Set its properties, call showModal, then read
/// GetUnloadState: 0 means GetOpenFileFullName holds the chosen file. The browser uses one shared
/// instance, so values set on it last between showings. Child controls by objectName: "tree" (the
/// catalogue's entries, shown by the QTreeView inside it), "lbl1" (author and date of the selected file),
/// "KXWebText1" (its description), "cmdDel" "删除", "cmdOther" "导入..." (or "浏览..."), "cmdUpdate" "
/// 远程更新", "cmdSure" "确定", "cmdCancel" "取消". Failures while it handles the user's clicks are shown in
/// a box titled "提示".
class KXVIEW_EXPORT frmSelectPrice : public QDialog {
    Q_OBJECT

public:
    explicit frmSelectPrice(QWidget* parent = nullptr);
    ~frmSelectPrice() override;

    /// The application directory, ending with a separator.
    void SetAppPath(const QString& value);
    /// The catalogued folder, ending with a separator.
    void SetPriceDir(const QString& value);
    /// The catalogue's file name inside the folder; copied there from AppPath "System\" when missing.
    void SetDBName(const QString& value);
    /// The extension of the listed files, with its dot (".QTJG", ".QTCJ").
    void SetExtension(const QString& value);
    /// The current user: only price files whose KeyInfo 'UserName' matches it (letter case aside) may be
    /// deleted.
    void SetUserName(const QString& value);
    /// 1 hides the delete, the import and the update button; any other value shows it.
    void SetHideCmd_Del(qint16 value);
    void SetHideCmd_Other(qint16 value);
    void SetHideCmd_Update(qint16 value);
    /// True: the import button browses for any price file ("浏览...") instead of importing one.
    void SetCanOpenOther(bool value);
    /// The Name of the catalogue entry selected on opening ("" for none).
    void SetDefaultName(const QString& value);
    /// Whether Return and Enter choose the selected entry as 确定 does (off in a new form).
    void setEnterChooses(bool on);

    /// The chosen file's full name.
    QString GetOpenFileFullName() const;
    void setOpenFileFullName(const QString& value);
    /// 1 from opening until a file is chosen, then 0.
    qint32 GetUnloadState() const;

    /// Opens the picker (the catalogue loaded, the default entry selected and shown) and shows it
    /// modally; returns when it has closed. Throws kx::FileSystemError when the catalogue is missing and
    /// its template cannot be copied, kx::DbError when the catalogue or a price file cannot be read.
    void showModal();

    /// Imports a file the user picks into the folder (a price file is catalogued after the selected
    /// entry, a material library's stored price files are written into its price folder) and closes the
    /// picker with it; failures and cancelling leave the picker open and the folder as it was.
    void CallOtherPriceFile();
    /// Closes the picker with any price file the user picks, without copying it.
    void OpenOtherPriceFile();
    /// Shows the selected entry: author, date and description of its file, or offers to download it
    /// when it is missing. Throws kx::DbError when a file cannot be read.
    void RefeshNodeInfo();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
