// SPDX-License-Identifier: MIT
#pragma once

// Where the client hosts its remote interface and where the companion looks for it, unless the
// config.ini beside each program says otherwise (key "IPC/url").
namespace StationIpc {
inline constexpr char DefaultUrl[] = "tcp://127.0.0.1:12230";
} // namespace StationIpc
