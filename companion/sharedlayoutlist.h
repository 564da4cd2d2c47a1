// SPDX-License-Identifier: MIT
#pragma once

class LayoutList;

// The companion's one layout list, shared by QuickRpc and QML. Created on first use; it belongs
// to no QML engine and is deleted when the application object goes.
LayoutList* sharedLayoutList();
