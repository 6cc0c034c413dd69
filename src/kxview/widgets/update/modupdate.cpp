// The update procedures with the component's dialogs.
#include "kxview/modupdate.h"

#include "widgets/update/update_dialogs.h"

namespace modUpdate {

qint32 UpdateDELibrary(const QString& LibName, const QString& AppPath, const QString& DataRoot) {
    kx::UpdateDialogs dialogs;
    return UpdateDELibrary(dialogs, LibName, AppPath, DataRoot);
}

int UpdatePriceFiles(const QString& MateKey, const QString& AppPath, const QString& DataPath) {
    kx::UpdateDialogs dialogs;
    return UpdatePriceFiles(dialogs, MateKey, AppPath, DataPath);
}

bool UpdatePriceFile(const QString& MateKey, const QString& AppPath, const QString& DataPath,
                     const QString& FileName) {
    kx::UpdateDialogs dialogs;
    return UpdatePriceFile(dialogs, MateKey, AppPath, DataPath, FileName);
}

}  // namespace modUpdate
