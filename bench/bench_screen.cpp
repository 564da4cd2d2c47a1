// SPDX-License-Identifier: MIT
// Reads, many times a second, the frame number that each video tile on the screen shows, from the
// strip of blocks at the top of the benchmark streams (bench/framecode.py has the code), so that
// the live-tile benchmark sees what reaches the glass rather than what the players report.
//
//   bench_screen --rect X,Y,W,H [--rect ...] [--aspect 16:9] [--rate 100] [--seconds 3600]
//
// Each --rect is where one tile's video is drawn (a player's window, a video item), in screen
// pixels; the video is fitted inside keeping its aspect and centred, as the players do. Only the
// middle rows of each tile's strip are grabbed (MIT-SHM, one request per row of tiles, all the
// requests of a sample sent before the first answer is awaited, so that a busy X server makes a
// sample wait once, not once per row), never the whole screen. Runs until --seconds pass or
// SIGTERM/SIGINT, and writes key=value lines:
//
//   view index=I rect=X,Y,W,H video=X,Y,W,H band=Y0-Y1
//   s t_ns=T grab_ns=G f=F0,F1,...      per sample: the monotonic time (the middle of the grabs),
//                                       the time the grabs took, and per tile the frame number
//                                       read, "x" when the strip did not read (a misread) or "-"
//                                       when there is no strip (no picture yet, something over it)
//   screen_end samples=N wall_s= cpu_s= cpu_pct= grab_us_p50= grab_us_p99= grab_us_max=
//              bytes_per_sample= late=K
//
// "late" counts samples that started more than a period after they were due (the ticks are then
// skipped, not caught up). cpu_s is this process's own CPU time; grab_us is the round trip of the
// X requests, which bounds what the X server spends on them.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <csignal>
#include <ctime>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace {

// The strip (bench/framecode.py): BLOCKS square blocks across the top of the frame, each
// BlockPerHeight of the frame's height; block 0 white, then the 15-bit number, its remainder
// modulo 7 plus 1 in 3 bits, and block 19 black.
constexpr int Blocks = 20;
constexpr int DataBits = 15;
constexpr int CheckBits = 3;
constexpr int CheckModulus = 7;
constexpr double BlockPerHeight = 32.0 / 360.0;
// Below this difference between the white and the black marker there is no strip.
constexpr int MinContrast = 96;

volatile std::sig_atomic_t s_stop = 0;

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

struct Rect
{
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

bool parseRect(const char* text, Rect& rect)
{
    char tail = 0;
    return std::sscanf(text, "%d,%d,%d,%d%c", &rect.x, &rect.y, &rect.w, &rect.h, &tail) == 4 && rect.w > 0 &&
           rect.h > 0;
}

// The video of aspect aw:ah fitted inside `box`, centred.
Rect fit(const Rect& box, int aw, int ah)
{
    Rect video = box;
    if (static_cast<long>(box.w) * ah > static_cast<long>(box.h) * aw) {
        video.w = static_cast<int>(std::lround(static_cast<double>(box.h) * aw / ah));
        video.x = box.x + (box.w - video.w) / 2;
    } else {
        video.h = static_cast<int>(std::lround(static_cast<double>(box.w) * ah / aw));
        video.y = box.y + (box.h - video.h) / 2;
    }
    return video;
}

struct Tile
{
    Rect box;
    Rect video;
    // The rows grabbed (the middle quarter of the strip) and, per block, the columns averaged
    // (the middle half of the block), in screen pixels.
    int y0 = 0;
    int y1 = 0;
    int left[Blocks] = {};
    int right[Blocks] = {};
    int band = -1;
};

// One grab: a screen rectangle shared by the tiles whose strip rows are the same.
struct Band
{
    Rect area;
    // Shared memory the server writes into, or, without it, the last answer of a plain GetImage.
    xcb_shm_seg_t segment = 0;
    int shmid = -1;
    std::uint8_t* shared = nullptr;
    xcb_get_image_reply_t* reply = nullptr;
    const std::uint8_t* pixels = nullptr;
    int stride = 0;
    // The requests of the current sample.
    xcb_shm_get_image_cookie_t shmCookie{};
    xcb_get_image_cookie_t plainCookie{};
};

struct Grabber
{
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    int width = 0;
    int height = 0;
    bool shm = false;
    int redShift = 16;
    int greenShift = 8;
    int blueShift = 0;
};

int shiftOf(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool prepareTile(Tile& tile, const Grabber& screen, int aw, int ah)
{
    tile.video = fit(tile.box, aw, ah);
    const double blockW = tile.video.w / static_cast<double>(Blocks);
    const double blockH = tile.video.h * BlockPerHeight;
    const double cy = tile.video.y + blockH / 2;
    tile.y0 = std::max(0, static_cast<int>(std::floor(cy - blockH / 8)));
    tile.y1 = std::min(screen.height, std::max(tile.y0 + 1, static_cast<int>(std::ceil(cy + blockH / 8))));
    for (int i = 0; i < Blocks; ++i) {
        const double cx = tile.video.x + (i + 0.5) * blockW;
        tile.left[i] = std::max(0, static_cast<int>(std::floor(cx - blockW / 4)));
        tile.right[i] =
            std::min(screen.width, std::max(tile.left[i] + 1, static_cast<int>(std::ceil(cx + blockW / 4))));
    }
    return tile.y0 < tile.y1 && tile.left[0] < tile.right[Blocks - 1];
}

// Attaches shared memory for the band; without it (or when the server refuses it) the band is
// grabbed with plain GetImage requests, whose pixels come in the answers.
void createBand(Band& band, const Grabber& screen)
{
    band.stride = band.area.w * 4;
    if (!screen.shm)
        return;
    band.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(band.stride) * band.area.h, IPC_CREAT | 0600);
    if (band.shmid < 0)
        return;
    void* address = shmat(band.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(band.shmid, IPC_RMID, nullptr);
        band.shmid = -1;
        return;
    }
    band.segment = xcb_generate_id(screen.connection);
    xcb_generic_error_t* error =
        xcb_request_check(screen.connection, xcb_shm_attach_checked(screen.connection, band.segment,
                                                                    static_cast<uint32_t>(band.shmid), 0));
    // Marked for removal now: it goes when both sides have detached, even if this process dies.
    shmctl(band.shmid, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        shmdt(address);
        band.shmid = -1;
        return;
    }
    band.shared = static_cast<std::uint8_t*>(address);
}

// Sends the band's request; its answer is awaited by finishGrab.
void startGrab(Band& band, const Grabber& screen)
{
    const auto x = static_cast<int16_t>(band.area.x);
    const auto y = static_cast<int16_t>(band.area.y);
    const auto w = static_cast<uint16_t>(band.area.w);
    const auto h = static_cast<uint16_t>(band.area.h);
    if (band.shared)
        band.shmCookie = xcb_shm_get_image(screen.connection, screen.root, x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                           band.segment, 0);
    else
        band.plainCookie = xcb_get_image(screen.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen.root, x, y, w, h, ~0u);
}

// Waits for the band's answer; false when the grab failed.
bool finishGrab(Band& band, const Grabber& screen)
{
    xcb_generic_error_t* error = nullptr;
    if (band.shared) {
        xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(screen.connection, band.shmCookie, &error);
        const bool ok = reply != nullptr && error == nullptr;
        std::free(reply);
        std::free(error);
        band.pixels = band.shared;
        return ok;
    }
    std::free(band.reply);
    band.reply = xcb_get_image_reply(screen.connection, band.plainCookie, &error);
    std::free(error);
    // 32-bit pixels, rows padded to 32 bits: what a 24-bit TrueColor screen gives.
    if (!band.reply || xcb_get_image_data_length(band.reply) < band.stride * band.area.h) {
        band.pixels = nullptr;
        return false;
    }
    band.pixels = xcb_get_image_data(band.reply);
    return true;
}

// Mean luminance (0-255) of a rectangle of the band's picture, in screen coordinates.
int luminance(const Band& band, const Grabber& screen, int x0, int x1, int y0, int y1)
{
    long sum = 0;
    long count = 0;
    for (int y = y0; y < y1; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(band.pixels + static_cast<long>(y - band.area.y) * band.stride);
        for (int x = x0; x < x1; ++x) {
            const std::uint32_t pixel = row[x - band.area.x];
            const int r = static_cast<int>((pixel >> screen.redShift) & 0xff);
            const int g = static_cast<int>((pixel >> screen.greenShift) & 0xff);
            const int b = static_cast<int>((pixel >> screen.blueShift) & 0xff);
            sum += (77 * r + 150 * g + 29 * b) >> 8;
            ++count;
        }
    }
    return count ? static_cast<int>(sum / count) : 0;
}

// The frame number of a tile, or -1 for a misread, -2 for no strip.
int readTile(const Tile& tile, const Band& band, const Grabber& screen)
{
    int level[Blocks];
    for (int i = 0; i < Blocks; ++i)
        level[i] = luminance(band, screen, tile.left[i], tile.right[i], tile.y0, tile.y1);
    const int white = level[0];
    const int black = level[Blocks - 1];
    if (white - black < MinContrast)
        return -2;
    const int low = black + (white - black) / 4;
    const int high = white - (white - black) / 4;
    int bits = 0;
    for (int i = 1; i < Blocks - 1; ++i) {
        if (level[i] <= low)
            bits <<= 1;
        else if (level[i] >= high)
            bits = (bits << 1) | 1;
        else
            return -1;
    }
    const int number = bits >> CheckBits;
    const int check = bits & ((1 << CheckBits) - 1);
    static_assert(DataBits + CheckBits == Blocks - 2, "the strip is markers, data and check");
    return check == number % CheckModulus + 1 ? number : -1;
}

void usage()
{
    std::fprintf(stderr, "usage: bench_screen --rect X,Y,W,H [--rect ...] [--aspect 16:9] [--rate HZ] "
                         "[--seconds S]\n");
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<Tile> tiles;
    int aspectW = 16;
    int aspectH = 9;
    double rate = 100;
    double seconds = 3600;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value) {
            usage();
            return 2;
        }
        ++i;
        if (arg == "--rect") {
            Tile tile;
            if (!parseRect(value, tile.box)) {
                std::fprintf(stderr, "bench_screen: not a rectangle X,Y,W,H: %s\n", value);
                return 2;
            }
            tiles.push_back(tile);
        } else if (arg == "--aspect") {
            char tail = 0;
            if (std::sscanf(value, "%d:%d%c", &aspectW, &aspectH, &tail) != 2 || aspectW <= 0 || aspectH <= 0) {
                std::fprintf(stderr, "bench_screen: not an aspect W:H: %s\n", value);
                return 2;
            }
        } else if (arg == "--rate") {
            rate = std::atof(value);
        } else if (arg == "--seconds") {
            seconds = std::atof(value);
        } else {
            usage();
            return 2;
        }
    }
    if (tiles.empty() || !(rate > 0 && rate <= 1000) || !(seconds > 0)) {
        usage();
        return 2;
    }

    Grabber screen;
    int screenNumber = 0;
    screen.connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(screen.connection)) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "bench_screen: cannot open the display %s\n", name ? name : "(unset)");
        xcb_disconnect(screen.connection);
        return 1;
    }
    const xcb_setup_t* setup = xcb_get_setup(screen.connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_screen_t* root = screens.data;
    // The root window's visual gives the colour masks; its depth's pixmap format, the pixel size.
    const xcb_visualtype_t* visual = nullptr;
    for (xcb_depth_iterator_t depths = xcb_screen_allowed_depths_iterator(root); depths.rem && !visual;
         xcb_depth_next(&depths)) {
        for (xcb_visualtype_iterator_t visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == root->root_visual) {
                visual = visuals.data;
                break;
            }
        }
    }
    int bitsPerPixel = 0;
    for (xcb_format_iterator_t formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == root->root_depth)
            bitsPerPixel = formats.data->bits_per_pixel;
    }
    if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR || root->root_depth < 24 || bitsPerPixel != 32) {
        std::fprintf(stderr, "bench_screen: needs a TrueColor screen of 24 bits in 32-bit pixels\n");
        xcb_disconnect(screen.connection);
        return 1;
    }
    screen.root = root->root;
    screen.width = root->width_in_pixels;
    screen.height = root->height_in_pixels;
    screen.redShift = shiftOf(visual->red_mask);
    screen.greenShift = shiftOf(visual->green_mask);
    screen.blueShift = shiftOf(visual->blue_mask);
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(screen.connection, &xcb_shm_id);
    screen.shm = shm && shm->present;
    if (!screen.shm)
        std::fprintf(stderr, "bench_screen: no MIT-SHM on this display; grabbing with plain GetImage\n");

    // Tiles whose strips share their rows share a grab.
    std::vector<Band> bands;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        Tile& tile = tiles[i];
        if (!prepareTile(tile, screen, aspectW, aspectH)) {
            std::fprintf(stderr, "bench_screen: tile %zu (%d,%d %dx%d) is off the screen\n", i, tile.box.x, tile.box.y,
                         tile.box.w, tile.box.h);
            return 1;
        }
        for (std::size_t b = 0; b < bands.size(); ++b) {
            if (bands[b].area.y == tile.y0 && bands[b].area.h == tile.y1 - tile.y0) {
                const int x0 = std::min(bands[b].area.x, tile.left[0]);
                const int x1 = std::max(bands[b].area.x + bands[b].area.w, tile.right[Blocks - 1]);
                bands[b].area.x = x0;
                bands[b].area.w = x1 - x0;
                tile.band = static_cast<int>(b);
                break;
            }
        }
        if (tile.band < 0) {
            Band band;
            band.area = {tile.left[0], tile.y0, tile.right[Blocks - 1] - tile.left[0], tile.y1 - tile.y0};
            bands.push_back(band);
            tile.band = static_cast<int>(bands.size() - 1);
        }
    }
    long bytesPerSample = 0;
    for (Band& band : bands) {
        createBand(band, screen);
        bytesPerSample += 4L * band.area.w * band.area.h;
    }
    if (screen.shm && std::any_of(bands.begin(), bands.end(), [](const Band& b) { return !b.shared; }))
        std::fprintf(stderr, "bench_screen: shared memory refused for some grabs; they use plain GetImage\n");
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const Tile& t = tiles[i];
        std::printf("view index=%zu rect=%d,%d,%d,%d video=%d,%d,%d,%d band=%d-%d\n", i, t.box.x, t.box.y, t.box.w,
                    t.box.h, t.video.x, t.video.y, t.video.w, t.video.h, t.y0, t.y1);
    }
    std::fflush(stdout);

    std::signal(SIGTERM, [](int) { s_stop = 1; });
    std::signal(SIGINT, [](int) { s_stop = 1; });

    const std::int64_t period = static_cast<std::int64_t>(1e9 / rate);
    const std::int64_t start = monotonicNs();
    const std::int64_t end = start + static_cast<std::int64_t>(seconds * 1e9);
    const double cpuStart = cpuSeconds();
    std::int64_t due = start;
    long samples = 0;
    long late = 0;
    long failed = 0;
    std::int64_t lastFlush = start;
    std::vector<std::int64_t> grabs;
    std::string line;
    while (!s_stop) {
        timespec wake{static_cast<time_t>(due / 1000000000), static_cast<long>(due % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR && !s_stop) {
        }
        if (s_stop)
            break;
        const std::int64_t before = monotonicNs();
        if (before >= end)
            break;
        for (Band& band : bands)
            startGrab(band, screen);
        bool ok = true;
        for (Band& band : bands)
            ok = finishGrab(band, screen) && ok;
        const std::int64_t after = monotonicNs();
        due += period;
        if (after - due > period) {
            ++late;
            due = after + period - (after - start) % period;
        }
        if (!ok) {
            // A failed grab (the screen changed under it) is a sample lost, not a reading.
            if (++failed == 1)
                std::fprintf(stderr, "bench_screen: a grab failed\n");
            if (xcb_connection_has_error(screen.connection)) {
                std::fprintf(stderr, "bench_screen: lost the display\n");
                break;
            }
            continue;
        }
        grabs.push_back(after - before);
        line.clear();
        line += "s t_ns=" + std::to_string((before + after) / 2) + " grab_ns=" + std::to_string(after - before) + " f=";
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            if (i)
                line += ',';
            const int number = readTile(tiles[i], bands[static_cast<std::size_t>(tiles[i].band)], screen);
            line += number >= 0 ? std::to_string(number) : (number == -1 ? "x" : "-");
        }
        line += '\n';
        std::fputs(line.c_str(), stdout);
        ++samples;
        if (after - lastFlush > 1000000000) {
            std::fflush(stdout);
            lastFlush = after;
        }
    }
    const double wall = (monotonicNs() - start) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    std::sort(grabs.begin(), grabs.end());
    auto quantile = [&grabs](double q) {
        return grabs.empty() ? 0.0 : grabs[static_cast<std::size_t>(q * (grabs.size() - 1))] / 1000.0;
    };
    std::printf("screen_end samples=%ld failed=%ld wall_s=%.3f cpu_s=%.3f cpu_pct=%.2f grab_us_p50=%.0f "
                "grab_us_p99=%.0f grab_us_max=%.0f bytes_per_sample=%ld late=%ld bands=%zu shm=%d\n",
                samples, failed, wall, cpu, wall > 0 ? cpu / wall * 100 : 0.0, quantile(0.5), quantile(0.99),
                quantile(1.0), bytesPerSample, late, bands.size(), screen.shm ? 1 : 0);
    std::fflush(stdout);
    for (Band& band : bands) {
        if (band.shared) {
            xcb_shm_detach(screen.connection, band.segment);
            shmdt(band.shared);
        }
        std::free(band.reply);
    }
    xcb_disconnect(screen.connection);
    return 0;
}
