// Text helpers: splitting a text into fields at a one-character separator, and byte sizes for people.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

namespace modPub_Chars {

/// Number of fields of `text` split at `separator`; single-quoted stretches hide separators. An empty
/// text has no fields; a trailing separator does not start another field.
KXVIEW_CORE_EXPORT qint16 CountFields(const QString& text, const QString& separator);

/// Field `index` (1-based) of `text` split at `separator`, quotes kept; "" when there are fewer fields.
KXVIEW_CORE_EXPORT QString GetField(const QString& text, const QString& separator, qint16 index);

/// A byte count as the download dialog shows it: "512b", "1k", "1.5M", "0.6G" (from 512 MB on).
KXVIEW_CORE_EXPORT QString FormatByteSize(qint32 Bytes);

}  // namespace modPub_Chars
