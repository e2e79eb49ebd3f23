#include "res/ResourceIds.h"

#include <QtGlobal>

static void InitFotoshuttleResources() {
    Q_INIT_RESOURCE(fotoshuttle);
}

namespace fotoshuttle {

const char* LoadStringResource(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return kAboutBoxText;
        case IDS_HIDDEN_TITLE:
            return kHiddenTitle;
        case IDS_APP_TITLE:
            return kAppTitle;
        default:
            return "";
    }
}

void InitResources() {
    static const bool initialised = (InitFotoshuttleResources(), true);
    (void)initialised;
}

}  // namespace fotoshuttle
