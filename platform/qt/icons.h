#pragma once

#include <QIcon>

#include "platform/icon.h"

namespace platform {

// Every image of the icon group, for Qt to pick the size it needs.
QIcon ToQIcon(HICON icon);

}  // namespace platform
