// SPDX-License-Identifier: MIT
#include "freeports.h"

#include <memory>
#include <vector>

#include <QTcpServer>

namespace testsupport {

QList<int> freePorts(int count)
{
    std::vector<std::unique_ptr<QTcpServer>> probes;
    QList<int> ports;
    for (int i = 0; i < count; ++i) {
        auto probe = std::make_unique<QTcpServer>();
        if (!probe->listen(QHostAddress::LocalHost, 0))
            return {};
        ports << probe->serverPort();
        probes.push_back(std::move(probe));
    }
    return ports;
}

int freePort()
{
    return freePorts(1).value(0);
}

} // namespace testsupport
