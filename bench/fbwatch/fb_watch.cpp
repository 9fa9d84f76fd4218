// Watches the picture of a virtual X display (Xvfb's -fbdir file) and says
// when it first changed and when one pixel first turned non-black, in ms
// from a start time the caller gives. Polling a mapped file costs the
// display and the program watched next to nothing.
//
// Usage: fb_watch FRAMEBUFFER X Y START_NS [TIMEOUT_MS]
//   START_NS: CLOCK_REALTIME in ns (`date +%s%N`) when the program started.
//        fb_watch --black FRAMEBUFFER X Y
//   waits until the pixel is black again (a program that ended is gone).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

long long nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void pause1ms()
{
    timespec pause{0, 1000000};
    nanosleep(&pause, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    const bool untilBlack = argc > 1 && std::strcmp(argv[1], "--black") == 0;
    if (untilBlack) {
        ++argv;
        --argc;
    }
    if (argc < (untilBlack ? 4 : 5)) {
        std::fprintf(stderr, "usage: fb_watch FRAMEBUFFER X Y START_NS [TIMEOUT_MS]\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 100) {
        std::fprintf(stderr, "fb_watch: cannot read %s\n", argv[1]);
        return 1;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        std::fprintf(stderr, "fb_watch: cannot map %s\n", argv[1]);
        return 1;
    }
    const auto* fb = static_cast<const uint8_t*>(map);
    const size_t start = be32(fb) + size_t(be32(fb + 76)) * 12;
    const size_t rowBytes = be32(fb + 48);
    const size_t height = be32(fb + 20);
    const size_t x = std::strtoul(argv[2], nullptr, 10), y = std::strtoul(argv[3], nullptr, 10);
    const long long t0 = untilBlack ? nowNs() : std::atoll(argv[4]);
    const long long timeoutMs = !untilBlack && argc > 5 ? std::atoll(argv[5]) : 20000;
    if (start + height * rowBytes > size || y >= height || x * 4 + 3 > rowBytes) {
        std::fprintf(stderr, "fb_watch: not a picture of the expected shape\n");
        return 1;
    }
    // Every eighth row is enough to see a window appear.
    std::vector<uint8_t> blank;
    for (size_t r = 0; r < height; r += 8)
        blank.insert(blank.end(), fb + start + r * rowBytes, fb + start + (r + 1) * rowBytes);
    auto changed = [&] {
        for (size_t r = 0, i = 0; r < height; r += 8, i += rowBytes)
            if (std::memcmp(fb + start + r * rowBytes, blank.data() + i, rowBytes) != 0) return true;
        return false;
    };
    const uint8_t* pixel = fb + start + y * rowBytes + x * 4;
    if (untilBlack) {
        while (pixel[0] | pixel[1] | pixel[2]) {
            if ((nowNs() - t0) / 1000000 > timeoutMs) return 1;
            pause1ms();
        }
        return 0;
    }
    long long first = -1;
    for (;;) {
        const long long ms = (nowNs() - t0) / 1000000;
        if (first < 0 && changed()) first = ms;
        if (pixel[0] | pixel[1] | pixel[2]) {
            std::printf("first %lld\nshown %lld\n", first < 0 ? ms : first, ms);
            return 0;
        }
        if (ms > timeoutMs) {
            std::fprintf(stderr, "fb_watch: nothing shown in %lld ms\n", timeoutMs);
            return 1;
        }
        pause1ms();
    }
}
