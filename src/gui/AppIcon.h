// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon, drawn (the same picture as the installed albumora.svg).
#pragma once

#include <QIcon>

namespace albumora::gui {

QIcon AppIcon();

}  // namespace albumora::gui
