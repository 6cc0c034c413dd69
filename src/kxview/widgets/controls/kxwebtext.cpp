#include "widgets/controls/kxwebtext.h"

#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "core/io/filesystem.h"
#include "widgets/controls/formchrome.h"

namespace kx {
namespace {

/// The styles a stretch of text is shown in.
struct Style {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int colour = -1;  // index into the basic palette; -1 for the view's own
};

/// Applies the tag between '<' and '>' to `style`; false when it is no tag of the mark-up.
bool applyTag(const QString& tag, Style& style) {
    static const QRegularExpression colourTag(QStringLiteral("^C=(\\d{1,2})$"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString upper = tag.toUpper();
    if (upper == QLatin1String("/")) {
        style = Style();
    } else if (upper == QLatin1String("B")) {
        style.bold = true;
    } else if (upper == QLatin1String("I")) {
        style.italic = true;
    } else if (upper == QLatin1String("U")) {
        style.underline = true;
    } else if (const QRegularExpressionMatch m = colourTag.match(tag);
               m.hasMatch() && m.captured(1).toInt() < 16) {
        style.colour = m.captured(1).toInt();
    } else {
        return false;
    }
    return true;
}

/// `text` escaped for HTML, its line breaks as <br/>, in a span of `style`.
QString styledRun(const QString& text, const Style& style) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    if (text.isEmpty()) return {};
    QString escaped = text.toHtmlEscaped().replace(lineBreak, QStringLiteral("<br/>"));
    QString css;
    if (style.bold) css += QStringLiteral("font-weight:bold;");
    if (style.italic) css += QStringLiteral("font-style:italic;");
    if (style.underline) css += QStringLiteral("text-decoration:underline;");
    if (style.colour >= 0) css += QStringLiteral("color:%1;").arg(basicPaletteColor(style.colour).name());
    if (css.isEmpty()) return escaped;
    return QStringLiteral("<span style=\"%1\">%2</span>").arg(css, escaped);
}

}  // namespace

QString markupToHtml(const QString& markup) {
    QString html;
    QString run;
    Style style;
    for (qsizetype i = 0; i < markup.size(); ++i) {
        if (markup[i] == QLatin1Char('<')) {
            const qsizetype close = markup.indexOf(QLatin1Char('>'), i + 1);
            Style next = style;
            if (close > i && applyTag(markup.mid(i + 1, close - i - 1), next)) {
                html += styledRun(run, style);
                run.clear();
                style = next;
                i = close;
                continue;
            }
        }
        run += markup[i];
    }
    return html + styledRun(run, style);
}

struct KXWebText::Private {
    QTextBrowser* view = nullptr;
    QString text;
};

KXWebText::KXWebText(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>()) {
    d->view = new QTextBrowser(this);
    d->view->setObjectName(QStringLiteral("view"));
    d->view->setOpenLinks(false);
    d->view->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->view);
}

KXWebText::~KXWebText() = default;

void KXWebText::SetAppPath(const QString& appPath) {
    d->view->setSearchPaths({fs::resolve(appPath)});
}

QString KXWebText::Text() const {
    return d->text;
}

void KXWebText::SetText(const QString& markup) {
    d->text = markup;
    d->view->setHtml(markupToHtml(markup));
}

}  // namespace kx
