#!/bin/sh
# Runs a command in a D-Bus session of its own, with a keyring daemon (the Secret Service) unlocked
# for it and a home of its own, so that nothing touches the user's keyring. Exit code 77 (a
# skipped test) where the daemon or the D-Bus tools are missing.
set -eu
for tool in dbus-run-session gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is missing: the keyring tests are skipped" >&2
        exit 77
    fi
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/data" "$home/cache"
mkdir -m 700 "$home/run"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/run"
# The daemon makes the login keyring with this password, unlocked, on its first start.
dbus-run-session -- sh -c 'printf station-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null &&
    exec "$@"' sh "$@"
