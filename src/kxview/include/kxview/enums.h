// The enumerations of the component's controls, known to Qt's meta-object system (their names and values
// are available through QMetaEnum::fromType, e.g. to a property editor or a scripting host).
#pragma once

#include <QObject>
#include "kxview/kxview_export.h"

namespace kx {
Q_NAMESPACE_EXPORT(KXVIEW_EXPORT)

/// Grid columns of KXView's item grid: grid column = value + 1 (column 0 is the fixed column; columns 10
/// and up hold prices).
enum class HCol_F : int {
    Tag = 0,
    Code = 1,
    Name = 2,
    Unit = 3,
    ID = 4,
    State = 5,
    RowKind = 6,
    DEKey = 7,
    Other = 8
};
Q_ENUM_NS(HCol_F)

/// Dispatch identifiers of KXView's events, in the order of its event interface.
enum class KXViewEvent : int {
    CallMate = 1,
    DoubleClickMate = 2,
    CloseMe = 3,
    CallDE = 4,
    DoubleClickDE = 5,
    DoubleClickDataBook = 6,
    CallDEEditRecord = 7,
    CallDELink = 8,
};
Q_ENUM_NS(KXViewEvent)

/// Dispatch identifiers of KXBar's events, in the order of its event interface.
enum class KXBarEvent : int {
    CloseMe = 1,
    ToolClickMateIndex = 2,
    ToolClickWithPrice = 3,
    ToolClickFind = 4,
    ToolClickCall = 5,
    ToolClickLink = 6,
    ToolClickExExtend = 7,
    ToolClickExClose = 8,
};
Q_ENUM_NS(KXBarEvent)

}  // namespace kx
