// The standard open-file dialog of the component's forms, behind the core's file-dialog service.
#pragma once

#include <QString>
#include <QStringList>
#include "kxview/kxview_export.h"

namespace kx {

/// The name filters of a Qt file dialog for a filter text of description and pattern pairs
/// ("价格文件(*.QTJG;*.JG)|*.QTJG;*.JG" gives "价格文件 (*.QTJG *.JG)"): a pattern list the description
/// already ends with is not repeated. An empty text gives no filter; a description without patterns is
/// left out.
KXVIEW_EXPORT QStringList qtNameFilters(const QString& filter);

/// Makes a real QFileDialog the default of the file-dialog service (see kx::fileDialogService), once per
/// process. The forms that ask for files call it.
KXVIEW_EXPORT void useFileDialogs();

}  // namespace kx
