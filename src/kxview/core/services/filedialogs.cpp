#include "core/services/filedialogs.h"

#include "core/services/logging.h"

namespace kx {
namespace {

/// Dialogs without a screen: each request is logged and cancelled, since nobody chose a file.
class LoggedFileDialogService : public FileDialogService {
public:
    std::optional<QString> getOpenFileName(const OpenFileSpec& spec, QObject*) override {
        qCInfo(lcKxView).noquote() << "open-file dialog" << spec.title << "(" << spec.filter << ") cancelled";
        return std::nullopt;
    }
};

struct Services {
    std::unique_ptr<FileDialogService> chosen;
    std::unique_ptr<FileDialogService> fallback = std::make_unique<LoggedFileDialogService>();
};

Services& services() {
    static Services instance;
    return instance;
}

}  // namespace

DialogCancelled::DialogCancelled() : std::runtime_error("the dialog was cancelled") {}
DialogCancelled::~DialogCancelled() = default;

FileDialogService& fileDialogService() {
    Services& s = services();
    return s.chosen ? *s.chosen : *s.fallback;
}

std::unique_ptr<FileDialogService> setFileDialogService(std::unique_ptr<FileDialogService> service) {
    std::unique_ptr<FileDialogService> previous = std::move(services().chosen);
    services().chosen = std::move(service);
    return previous;
}

void setDefaultFileDialogService(std::unique_ptr<FileDialogService> service) {
    services().fallback = service ? std::move(service) : std::make_unique<LoggedFileDialogService>();
}

QString askOpenFileName(const OpenFileSpec& spec, QObject* parent) {
    std::optional<QString> chosen = fileDialogService().getOpenFileName(spec, parent);
    if (!chosen) throw DialogCancelled();
    return *chosen;
}

std::optional<QString> ScriptedFileDialogService::getOpenFileName(const OpenFileSpec& spec, QObject*) {
    m_shown << spec;
    return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
}

}  // namespace kx
