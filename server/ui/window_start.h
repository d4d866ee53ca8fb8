// The server with its window: Form1 follows the server's start (shown when the load reaches the
// window, its message boxes for the start-up messages), and the program ends when the window
// unloads after the close sequence. GUI thread.
#pragma once

class QApplication;

namespace lonvera::server {
class ServerApp;
}

namespace lonvera::ui {

/// Starts the server with its window and runs until the window unloads; the exit status.
int runWithWindow(QApplication &app, server::ServerApp &server, int major, int minor, int revision);

} // namespace lonvera::ui
