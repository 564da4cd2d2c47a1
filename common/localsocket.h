// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrl>

// A remote-interface address "local:NAME" is a socket file that only users who may write it can
// open. Both programs check whose it is before they trust it: another user's socket under the
// name would let that user steer the station, or see what the companion sends.
namespace StationIpc {

// The socket file of a "local:" address: NAME when it is a path, else NAME in the temporary folder
// (where Qt puts it). Empty for any other address.
QString localSocketPath(const QUrl& url);

enum class SocketState {
    Missing, // no file under the name
    Own,     // a socket of this user that only this user may write
    Open,    // a socket of this user that group or others may write
    Foreign, // a file of another user, or not a socket
    Unknown, // its state cannot be read
};

// What is found under `path`; `detail` says it in words for the log (owner, mode, error).
SocketState inspectLocalSocket(const QString& path, QString* detail = nullptr);

// Takes the group and other bits off this user's socket. False, with the reason in `error`, when
// its mode cannot be changed.
bool makeLocalSocketPrivate(const QString& path, QString* error = nullptr);

} // namespace StationIpc
