#include "dialog/AppIcon.h"

#include "res/ResourceIds.h"

namespace fotoshuttle {

QIcon ApplicationIcon() {
    InitResources();
    QIcon icon;
    for (const char* path : kAppIconPaths) {
        icon.addFile(QString::fromUtf8(path));
    }
    return icon;
}

}  // namespace fotoshuttle
