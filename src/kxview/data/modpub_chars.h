// Text helpers: splitting a text into fields at a one-character separator.
#pragma once

#include <QString>

namespace modPub_Chars {

/// Number of fields of `text` split at `separator`; single-quoted stretches hide separators. An empty
/// text has no fields; a trailing separator does not start another field.
qint16 CountFields(const QString& text, const QString& separator);

/// Field `index` (1-based) of `text` split at `separator`, quotes kept; "" when there are fewer fields.
QString GetField(const QString& text, const QString& separator, qint16 index);

}  // namespace modPub_Chars
