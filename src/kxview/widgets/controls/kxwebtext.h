// The description control of the pickers: it shows a library's or a price file's description, written in
// a small mark-up, as rich text.
//
// The mark-up: "<B>" bold, "<I>" italic, "<U>" underlined, "<C=n>" colour n (0 to 15) of the basic
// 16-colour palette (12 is red), and "</>" ends every style opened before it; CR, LF and CR LF break the
// line. Tags are read without regard to case; anything else between '<' and '>' is shown as it stands.
// For example "敬告:<B><C=12>对应定额库尚未安装!</>" shows its last words bold and red.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include "kxview/kxview_export.h"

namespace kx {

/// The HTML that shows `markup` (see above) as rich text; every other character is escaped.
KXVIEW_EXPORT QString markupToHtml(const QString& markup);

/// The mark-up text display. Its read-only text view is the child "view" (a QTextBrowser).
class KXVIEW_EXPORT KXWebText : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)

public:
    explicit KXWebText(QWidget* parent = nullptr);
    ~KXWebText() override;

    /// The application directory: pictures and other resources the text refers to by a relative path
    /// are looked for below it.
    void SetAppPath(const QString& appPath);
    /// The text as it was set, mark-up included.
    QString Text() const;
    /// Shows `markup`.
    void SetText(const QString& markup);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace kx
