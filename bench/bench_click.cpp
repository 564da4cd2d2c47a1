// SPDX-License-Identifier: MIT
// A double click of the first mouse button at a point of the screen, given through the X server's
// XTEST extension as a mouse gives it, for the full-view benchmark of scripts/bench.sh.
//
//   bench_click X Y
//
// Moves the pointer there, clicks, waits 60 ms and clicks again, then writes one line:
//
//   click sent_ns=T synced_ns=T
//
// sent_ns is CLOCK_MONOTONIC just before the second press went to the X server, synced_ns when the
// server answered a request sent right after it (it had taken the press by then). The double click
// happens at the second press: that is when a toolkit reports it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <ctime>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void sleepMs(long ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&ts, nullptr);
}

// Waits until the server has handled every request sent so far; false when the connection broke.
bool sync(xcb_connection_t* connection)
{
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    const bool ok = reply != nullptr;
    std::free(reply);
    return ok;
}

void button(xcb_connection_t* connection, std::uint8_t type)
{
    xcb_test_fake_input(connection, type, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

// Well within any double-click interval; a press held as briefly as a finger's.
constexpr long BetweenClicksMs = 60;
constexpr long HeldMs = 10;

} // namespace

int main(int argc, char* argv[])
{
    char* end = nullptr;
    const long x = argc == 3 ? std::strtol(argv[1], &end, 10) : -1;
    const bool xRead = end && *end == '\0';
    const long y = argc == 3 ? std::strtol(argv[2], &end, 10) : -1;
    if (argc != 3 || !xRead || *end != '\0' || x < 0 || y < 0 || x > 32767 || y > 32767) {
        std::fprintf(stderr, "usage: bench_click X Y   (a point of the screen, in pixels)\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_click: cannot open the display\n");
        xcb_disconnect(connection);
        return 1;
    }
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection, &xcb_test_id);
    if (!xtest || !xtest->present) {
        std::fprintf(stderr, "bench_click: the X server has no XTEST extension\n");
        xcb_disconnect(connection);
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
    button(connection, XCB_BUTTON_PRESS);
    sync(connection);
    sleepMs(HeldMs);
    button(connection, XCB_BUTTON_RELEASE);
    sync(connection);
    sleepMs(BetweenClicksMs);

    const std::int64_t sent = monotonicNs();
    button(connection, XCB_BUTTON_PRESS);
    const bool pressed = sync(connection);
    const std::int64_t synced = monotonicNs();
    sleepMs(HeldMs);
    button(connection, XCB_BUTTON_RELEASE);
    const bool released = sync(connection);
    xcb_disconnect(connection);
    if (!pressed || !released) {
        std::fprintf(stderr, "bench_click: the X connection broke during the double click\n");
        return 1;
    }
    std::printf("click sent_ns=%lld synced_ns=%lld\n", static_cast<long long>(sent), static_cast<long long>(synced));
    return 0;
}
