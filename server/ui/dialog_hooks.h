// Where the main window opens the settings dialogs: the button "参数设置" and the menu
// "系统设置(&S)" open the settings dialog, the device menu's "修改端口设置" and a double click on
// a device row open the port settings dialog for that row. The dialogs' module provides them;
// a hook left empty does nothing. GUI thread.
#pragma once

#include <functional>

namespace lonvera::ui {

class Form1;

struct DialogHooks
{
    /// Opens the settings dialog, without blocking the window.
    std::function<void(Form1 &window)> openSettings;
    /// Opens the port settings dialog for device-list row `row` (1-based), without blocking.
    std::function<void(Form1 &window, int row)> openPortSettings;
};

/// The dialogs the program has.
DialogHooks programDialogs();

} // namespace lonvera::ui
