// SPDX-License-Identifier: MIT
#pragma once

// Registers the gateway helpers in QML module "Native" 1.0.
void registerGatewayTypes();
