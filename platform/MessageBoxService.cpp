#include "platform/MessageBoxService.h"

#include <atomic>

namespace fotoshuttle {
namespace {
std::atomic<MessageBoxService*> g_currentService{nullptr};
}

void SetMessageBoxService(MessageBoxService* service) {
    g_currentService.store(service);
}

MessageBoxService* CurrentMessageBoxService() {
    return g_currentService.load();
}

BoxAnswer ShowMessageBox(const std::string& text, BoxButtons buttons) {
    MessageBoxService* service = g_currentService.load();
    if (service == nullptr) {
        return buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::No;
    }
    return service->Show(text, buttons);
}

}  // namespace fotoshuttle
