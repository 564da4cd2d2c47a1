// SPDX-License-Identifier: MIT
#pragma once

// Registers every native type of the client's QML in module "Native" 1.0: the shell's singletons,
// then each subsystem library's types through its own register function. Runs once; later calls
// do nothing.
void registerClientTypes();
