// SPDX-License-Identifier: MIT
// The mouse and the keyboard as an operator uses them, given through the X server's XTEST extension,
// for the benchmarks of scripts/bench.sh that click (the full view, the recorded page's time bar).
//
//   bench_click X Y                a double click of the first button at a point of the screen
//   bench_click --click X Y        one click there
//   bench_click --wheel N X Y      N notches of the wheel there (N > 0 away from the user, which zooms
//                                  in; N < 0 towards)
//   bench_click --key NAME         a key pressed and released: a letter or digit, space, minus,
//                                  equal, return or escape
//
// Each writes one line, every time CLOCK_MONOTONIC in ns:
//
//   click sent_ns=T synced_ns=T                  (double) just before the second press went to the
//                                                X server, and when the server answered a request
//                                                sent right after it (it had taken the press by then)
//   click press_ns=T release_ns=T synced_ns=T    (one) before the press went, before the release
//                                                went, and when the server had taken the release
//   wheel notches=N synced_ns=T                  the server had taken the last notch
//   key name=NAME sent_ns=T synced_ns=T          before the press went, and when it had been taken
//
// A double click happens at the second press, a click at the release and a key at its press: that
// is when a toolkit reports them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

void button(xcb_connection_t* connection, std::uint8_t type, std::uint8_t which = 1)
{
    xcb_test_fake_input(connection, type, which, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void moveTo(xcb_connection_t* connection, xcb_window_t root, long x, long y)
{
    xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<std::int16_t>(x),
                        static_cast<std::int16_t>(y), 0);
}

// Well within any double-click interval; a press held as briefly as a finger's.
constexpr long BetweenClicksMs = 60;
constexpr long HeldMs = 10;
// Between wheel notches: each its own event, as a wheel turned briskly sends them.
constexpr long BetweenNotchesMs = 15;
// X's wheel buttons.
constexpr std::uint8_t WheelAway = 4;
constexpr std::uint8_t WheelTowards = 5;

// The key names this program knows, with their keysyms.
struct KeyName
{
    const char* name;
    std::uint32_t keysym;
};
constexpr KeyName KeyNames[] = {
    {"space", 0x20}, {"minus", 0x2d}, {"equal", 0x3d}, {"return", 0xff0d}, {"escape", 0xff1b}};

// The keysym of a name: a lower-case letter or a digit stands for itself; 0 for none.
std::uint32_t keysymOf(const char* name)
{
    if (std::strlen(name) == 1 && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= '0' && name[0] <= '9')))
        return static_cast<std::uint8_t>(name[0]);
    for (const KeyName& key : KeyNames)
        if (std::strcmp(name, key.name) == 0)
            return key.keysym;
    return 0;
}

// The key code that gives the keysym unshifted; 0 when the keyboard has none.
xcb_keycode_t keycodeOf(xcb_connection_t* connection, std::uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr);
    if (!mapping)
        return 0;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
    const int perCode = mapping->keysyms_per_keycode;
    xcb_keycode_t found = 0;
    for (int i = 0; i < count && !found; ++i)
        if (perCode > 0 && keysyms[i * perCode] == keysym)
            found = static_cast<xcb_keycode_t>(setup->min_keycode + i);
    std::free(mapping);
    return found;
}

bool readPoint(const char* xText, const char* yText, long& x, long& y)
{
    char* end = nullptr;
    x = std::strtol(xText, &end, 10);
    const bool xRead = end != xText && *end == '\0';
    y = std::strtol(yText, &end, 10);
    const bool yRead = end != yText && *end == '\0';
    return xRead && yRead && x >= 0 && y >= 0 && x <= 32767 && y <= 32767;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_click X Y | --click X Y | --wheel N X Y | --key NAME\n"
                         "  X Y: a point of the screen, in pixels; N: notches, not 0, at most 100 either way;\n"
                         "  NAME: a letter or digit, space, minus, equal, return or escape\n");
    return 2;
}

int doubleClick(xcb_connection_t* connection, xcb_window_t root, long x, long y)
{
    moveTo(connection, root, x, y);
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
    if (!pressed || !released) {
        std::fprintf(stderr, "bench_click: the X connection broke during the double click\n");
        return 1;
    }
    std::printf("click sent_ns=%lld synced_ns=%lld\n", static_cast<long long>(sent), static_cast<long long>(synced));
    return 0;
}

int click(xcb_connection_t* connection, xcb_window_t root, long x, long y)
{
    moveTo(connection, root, x, y);
    sync(connection);
    const std::int64_t pressed = monotonicNs();
    button(connection, XCB_BUTTON_PRESS);
    const bool pressTaken = sync(connection);
    sleepMs(HeldMs);
    const std::int64_t released = monotonicNs();
    button(connection, XCB_BUTTON_RELEASE);
    const bool releaseTaken = sync(connection);
    const std::int64_t synced = monotonicNs();
    if (!pressTaken || !releaseTaken) {
        std::fprintf(stderr, "bench_click: the X connection broke during the click\n");
        return 1;
    }
    std::printf("click press_ns=%lld release_ns=%lld synced_ns=%lld\n", static_cast<long long>(pressed),
                static_cast<long long>(released), static_cast<long long>(synced));
    return 0;
}

int wheel(xcb_connection_t* connection, xcb_window_t root, long notches, long x, long y)
{
    moveTo(connection, root, x, y);
    const std::uint8_t which = notches > 0 ? WheelAway : WheelTowards;
    for (long i = 0; i < std::labs(notches); ++i) {
        button(connection, XCB_BUTTON_PRESS, which);
        button(connection, XCB_BUTTON_RELEASE, which);
        if (!sync(connection)) {
            std::fprintf(stderr, "bench_click: the X connection broke during the wheel's turn\n");
            return 1;
        }
        sleepMs(BetweenNotchesMs);
    }
    std::printf("wheel notches=%ld synced_ns=%lld\n", notches, static_cast<long long>(monotonicNs()));
    return 0;
}

int key(xcb_connection_t* connection, const char* name)
{
    const std::uint32_t keysym = keysymOf(name);
    if (keysym == 0)
        return usage();
    const xcb_keycode_t code = keycodeOf(connection, keysym);
    if (code == 0) {
        std::fprintf(stderr, "bench_click: the keyboard has no key for \"%s\"\n", name);
        return 1;
    }
    const std::int64_t sent = monotonicNs();
    xcb_test_fake_input(connection, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    const bool pressed = sync(connection);
    const std::int64_t synced = monotonicNs();
    sleepMs(HeldMs);
    xcb_test_fake_input(connection, XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    const bool released = sync(connection);
    if (!pressed || !released) {
        std::fprintf(stderr, "bench_click: the X connection broke during the key press\n");
        return 1;
    }
    std::printf("key name=%s sent_ns=%lld synced_ns=%lld\n", name, static_cast<long long>(sent),
                static_cast<long long>(synced));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    enum class Action { DoubleClick, Click, Wheel, Key } action = Action::DoubleClick;
    long x = 0;
    long y = 0;
    long notches = 0;
    const char* keyName = nullptr;
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 3 && readPoint(argv[1], argv[2], x, y)) {
        action = Action::DoubleClick;
    } else if (argc == 4 && first == "--click" && readPoint(argv[2], argv[3], x, y)) {
        action = Action::Click;
    } else if (argc == 5 && first == "--wheel" && readPoint(argv[3], argv[4], x, y)) {
        char* end = nullptr;
        notches = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || notches == 0 || std::labs(notches) > 100)
            return usage();
        action = Action::Wheel;
    } else if (argc == 3 && first == "--key" && keysymOf(argv[2]) != 0) {
        action = Action::Key;
        keyName = argv[2];
    } else {
        return usage();
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
    int code = 1;
    switch (action) {
    case Action::DoubleClick:
        code = doubleClick(connection, root, x, y);
        break;
    case Action::Click:
        code = click(connection, root, x, y);
        break;
    case Action::Wheel:
        code = wheel(connection, root, notches, x, y);
        break;
    case Action::Key:
        code = key(connection, keyName);
        break;
    }
    xcb_disconnect(connection);
    return code;
}
