// The error of a worker call as the component runtime reports it: a number and a description.
// 462 "The remote server machine does not exist or is unavailable" means the worker server could
// not be started, did not answer, or went away. Plain value; any thread.
#pragma once

#include <QString>

namespace lonvera::worker::client {

struct WorkerError
{
    int number = 0;
    QString description;

    bool isError() const { return number != 0; }
    explicit operator bool() const { return isError(); }
};

/// The error of the calling thread's last failed worker call or creation (like the runtime's
/// Err object): kept until clearLastError() or the next failure.
WorkerError lastError();
void clearLastError();

} // namespace lonvera::worker::client
