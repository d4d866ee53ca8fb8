// See worker_factory.h.
#include "server/worker_factory.h"

namespace lonvera::server {

std::unique_ptr<ClientWorkerFactory> makeWorkerFactory()
{
    return std::make_unique<ClientWorkerFactory>();
}

} // namespace lonvera::server
