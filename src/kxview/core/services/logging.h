// The component's logging category.
#pragma once

#include <QLoggingCategory>

#include "kxview/kxview_core_export.h"

/// The category "kxview" (what Q_DECLARE_LOGGING_CATEGORY declares, with the export macro).
KXVIEW_CORE_EXPORT const QLoggingCategory& lcKxView();
