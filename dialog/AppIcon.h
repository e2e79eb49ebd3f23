#pragma once

#include <QIcon>

namespace fotoshuttle {

// The application icon in all its sizes; null only if the resources are missing.
QIcon ApplicationIcon();

}  // namespace fotoshuttle
