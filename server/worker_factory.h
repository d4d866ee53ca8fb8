// The worker factory the Brevin program uses: workers of the worker server Tarvex80.
#pragma once

#include "server/core/client_worker_factory.h"

#include <memory>

namespace lonvera::server {

std::unique_ptr<ClientWorkerFactory> makeWorkerFactory();

} // namespace lonvera::server
