// What the browser keeps between calls.
#pragma once

#include <QString>

#include "widgets/browser/library_profile.h"

namespace kx {

/// The browser's state between calls: five strings, nothing else.
struct BrowserState {
    QString DBFullName;
    QString PriceDBFullPath;
    QString FindStyle;
    QString MateKey;
    QString AppPath;

    /// The profile of the library kind FindStyle names.
    const LibraryProfile& profile() const { return libraryProfile(FindStyle); }
};

}  // namespace kx
