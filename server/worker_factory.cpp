// See worker_factory.h.
#include "server/worker_factory.h"

namespace lonvera::server {

std::unique_ptr<SocketWorkerFactory> makeWorkerFactory()
{
    return std::make_unique<SocketWorkerFactory>();
}

} // namespace lonvera::server
