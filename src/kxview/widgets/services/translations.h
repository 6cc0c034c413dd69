// Qt's own texts in Chinese: the standard buttons of message boxes and dialogs ("确定", "取消").
#pragma once

namespace kx {

/// Loads Qt's Chinese translations (qtbase_zh_CN from Qt's translations folder) into the application,
/// unless Qt's texts are translated already (the host chose translations of its own). True when Qt's
/// texts are translated afterwards. Once per process.
bool useQtChineseTranslations();

}  // namespace kx
