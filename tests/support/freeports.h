// SPDX-License-Identifier: MIT
// Ports on 127.0.0.1 that nobody listens on now.
#pragma once

#include <QList>

namespace testsupport {

// Distinct ports: every probe stays open until all of them are known, so none is handed out twice.
// Another program could still take one before the test does; the test then fails with an "address
// in use" message rather than hang. Empty when the ports cannot be had.
QList<int> freePorts(int count);

// One port, or 0.
int freePort();

} // namespace testsupport
