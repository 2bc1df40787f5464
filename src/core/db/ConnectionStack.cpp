#include "db/ConnectionStack.h"

#include "db/EventLoopConnection.h"

namespace quorvane::db {

std::unique_ptr<ReopeningConnection> newConnectionStack(const ConnectionFactory& driverConnections)
{
    std::unique_ptr<Connection> driver = driverConnections ? driverConnections() : nullptr;
    if (!driver)
        return nullptr;
    return std::make_unique<ReopeningConnection>(std::make_unique<EventLoopConnection>(std::move(driver)));
}

} // namespace quorvane::db
