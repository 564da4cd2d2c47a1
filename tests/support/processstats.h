// SPDX-License-Identifier: MIT
// Readings of this process that tests of memory and thread use compare.
#pragma once

#include <QtGlobal>

namespace testsupport {

// Number of threads of this process.
int threadCount();

// Resident memory of this process in KiB, or -1.
qint64 residentKiB();

} // namespace testsupport
