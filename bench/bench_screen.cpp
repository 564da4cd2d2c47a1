// SPDX-License-Identifier: MIT
// Reads, many times a second, the frame number that each video tile on the screen shows, from the
// strip of blocks at the top of the benchmark streams (bench/framecode.py has the code), so that
// the live-tile benchmark sees what reaches the glass rather than what the players report.
//
//   bench_screen --rect X,Y,W,H [--rect ...] [--aspect 16:9] [--rate 100] [--seconds 3600]
//
// Each --rect is where one tile's video is drawn (a player's window, a video item), in screen
// pixels; the video is fitted inside keeping its aspect and centred, as the players do. Only the
// middle rows of each tile's strip are grabbed (MIT-SHM, one request per row of tiles), never the
// whole screen. Runs until --seconds pass or SIGTERM/SIGINT, and writes key=value lines:
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
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

// The strip (bench/framecode.py): BLOCKS square blocks across the top of the frame, each
// BlockPerHeight of the frame's height; block 0 white, then the 15-bit number, its 3-bit
// remainder modulo 7, and block 19 black.
constexpr int Blocks = 20;
constexpr int DataBits = 15;
constexpr int CheckBits = 3;
constexpr int CheckModulus = 7;
constexpr double BlockPerHeight = 32.0 / 360.0;
// Below this difference between the white and the black marker there is no strip.
constexpr int MinContrast = 96;

volatile std::sig_atomic_t s_stop = 0;
int s_xError = 0;

int onXError(Display*, XErrorEvent* event)
{
    s_xError = event->error_code;
    return 0;
}

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
    XImage* image = nullptr;
    XShmSegmentInfo shm{};
    bool shared = false;
};

struct Grabber
{
    Display* display = nullptr;
    Window root = 0;
    int width = 0;
    int height = 0;
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
        tile.right[i] = std::min(screen.width, std::max(tile.left[i] + 1, static_cast<int>(std::ceil(cx + blockW / 4))));
    }
    return tile.y0 < tile.y1 && tile.left[0] < tile.right[Blocks - 1];
}

bool createBand(Band& band, const Grabber& screen, bool useShm)
{
    const int s = DefaultScreen(screen.display);
    Visual* visual = DefaultVisual(screen.display, s);
    const unsigned depth = static_cast<unsigned>(DefaultDepth(screen.display, s));
    if (useShm) {
        band.image = XShmCreateImage(screen.display, visual, depth, ZPixmap, nullptr, &band.shm,
                                     static_cast<unsigned>(band.area.w), static_cast<unsigned>(band.area.h));
        if (band.image) {
            band.shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(band.image->bytes_per_line) * band.area.h,
                                    IPC_CREAT | 0600);
            if (band.shm.shmid >= 0) {
                band.shm.shmaddr = band.image->data = static_cast<char*>(shmat(band.shm.shmid, nullptr, 0));
                band.shm.readOnly = False;
                s_xError = 0;
                if (band.shm.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(screen.display, &band.shm)) {
                    XSync(screen.display, False);
                    // Marked for removal now: it goes when both sides detach, even if this process dies.
                    shmctl(band.shm.shmid, IPC_RMID, nullptr);
                    if (s_xError == 0) {
                        band.shared = true;
                        return true;
                    }
                }
                shmctl(band.shm.shmid, IPC_RMID, nullptr);
            }
            band.image->data = nullptr;
            XDestroyImage(band.image);
            band.image = nullptr;
        }
    }
    return true; // without shared memory, each grab makes its own image (XGetImage)
}

bool grabBand(Band& band, const Grabber& screen)
{
    s_xError = 0;
    if (band.shared) {
        if (!XShmGetImage(screen.display, screen.root, band.image, band.area.x, band.area.y, AllPlanes))
            return false;
    } else {
        if (band.image)
            XDestroyImage(band.image);
        band.image = XGetImage(screen.display, screen.root, band.area.x, band.area.y,
                               static_cast<unsigned>(band.area.w), static_cast<unsigned>(band.area.h), AllPlanes,
                               ZPixmap);
    }
    // The reading below takes 32-bit pixels, what a 24-bit TrueColor screen gives.
    return band.image != nullptr && s_xError == 0 && band.image->bits_per_pixel == 32;
}

// Mean luminance (0-255) of a rectangle of the band's picture, in screen coordinates.
int luminance(const Band& band, const Grabber& screen, int x0, int x1, int y0, int y1)
{
    const XImage* image = band.image;
    long sum = 0;
    long count = 0;
    for (int y = y0; y < y1; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image->data + static_cast<long>(y - band.area.y) *
                                                                                      image->bytes_per_line);
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
    return check == number % CheckModulus ? number : -1;
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
    screen.display = XOpenDisplay(nullptr);
    if (!screen.display) {
        const char* name = std::getenv("DISPLAY");
        std::fprintf(stderr, "bench_screen: cannot open the display %s\n", name ? name : "(unset)");
        return 1;
    }
    XSetErrorHandler(onXError);
    const int s = DefaultScreen(screen.display);
    screen.root = RootWindow(screen.display, s);
    screen.width = DisplayWidth(screen.display, s);
    screen.height = DisplayHeight(screen.display, s);
    Visual* visual = DefaultVisual(screen.display, s);
    if (DefaultDepth(screen.display, s) < 24 || visual->c_class != TrueColor) {
        std::fprintf(stderr, "bench_screen: needs a TrueColor screen of 24 bits or more\n");
        return 1;
    }
    screen.redShift = shiftOf(visual->red_mask);
    screen.greenShift = shiftOf(visual->green_mask);
    screen.blueShift = shiftOf(visual->blue_mask);
    const bool useShm = XShmQueryExtension(screen.display);
    if (!useShm)
        std::fprintf(stderr, "bench_screen: no MIT-SHM on this display; grabbing with XGetImage\n");

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
        createBand(band, screen, useShm);
        bytesPerSample += 4L * band.area.w * band.area.h;
    }
    if (useShm && std::any_of(bands.begin(), bands.end(), [](const Band& b) { return !b.shared; }))
        std::fprintf(stderr, "bench_screen: shared memory refused for some grabs; they use XGetImage\n");
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
        bool ok = true;
        for (Band& band : bands)
            ok = grabBand(band, screen) && ok;
        const std::int64_t after = monotonicNs();
        due += period;
        if (after - due > period) {
            ++late;
            due = after + period - (after - start) % period;
        }
        if (!ok) {
            // A failed grab (the screen changed under it) is a sample lost, not a reading.
            if (++failed == 1)
                std::fprintf(stderr, "bench_screen: a grab failed (X error %d)\n", s_xError);
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
                quantile(1.0), bytesPerSample, late, bands.size(), useShm ? 1 : 0);
    std::fflush(stdout);
    for (Band& band : bands) {
        if (band.shared) {
            XShmDetach(screen.display, &band.shm);
            shmdt(band.shm.shmaddr);
            band.image->data = nullptr;
        }
        if (band.image)
            XDestroyImage(band.image);
    }
    XCloseDisplay(screen.display);
    return 0;
}
