// SQL texts that select the items of one category of a library, by kind.
#pragma once

#include <QString>
#include "kxview/kxview_core_export.h"

namespace modSQL_Mate {
/// The materials whose Class starts with `p_Class`, in OCode order.
KXVIEW_CORE_EXPORT QString GetMateClassSQL(const QString& p_Class);
}  // namespace modSQL_Mate

namespace modSQL_DataBook {
/// The bill items whose Class starts with `p_Class`, in OCode order.
KXVIEW_CORE_EXPORT QString GetDataBookClassSQL(const QString& p_Class);
}  // namespace modSQL_DataBook

namespace modSQL_DM {
/// The quota items whose Class starts with `p_Class`, in Code1, Code2, Code3, Code4 order.
KXVIEW_CORE_EXPORT QString GetDMClassSQL(const QString& p_Class);
}  // namespace modSQL_DM
