#include "widgets/controls/richtextpane.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace kx {

struct RichTextPane::Private {
    QString text;
    QPlainTextEdit* edit = nullptr;
};

RichTextPane::RichTextPane(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>()) {
    d->edit = new QPlainTextEdit(this);
    d->edit->setObjectName(QStringLiteral("textEdit"));
    d->edit->setReadOnly(true);
    d->edit->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->edit);
}

RichTextPane::~RichTextPane() = default;

QString RichTextPane::Text() const {
    return d->text;
}

void RichTextPane::setText(const QString& text) {
    // Neighbouring items often share their text: laying out the same text again would only cost time.
    if (text == d->text) return;
    d->text = text;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    d->edit->setPlainText(QString(text).replace(lineBreak, QStringLiteral("\n")));
}

}  // namespace kx
