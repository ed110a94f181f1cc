// The Win32 application: the widget tree as a real window with standard
// controls, message boxes and the thread's message loop.
#pragma once

#include <memory>

#include "ui/Widgets.h"

namespace ui {

// Registers its own Synchronize target for the UI thread.
std::unique_ptr<TApplication> CreateWin32Application();

}  // namespace ui
