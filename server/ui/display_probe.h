// Whether this process can show a window, asked before the GUI starts: Qt's platform plugin
// ends the process when it cannot reach a display, and the server should say why instead.
// Any thread; reads the environment and the display's socket.
#pragma once

#include <QString>

namespace lonvera::ui {

/// Empty when a window can be shown; otherwise why not, in one line.
QString displayProblem();

} // namespace lonvera::ui
