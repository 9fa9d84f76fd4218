// Composing speed of the screen on the real skin: the whole 640 x 480 stage
// with every panel shown, and with one more panel holding a control of every
// kind; and the refresh of a single control.
//
// The skin is a copy of the build's "Beatloom.xrs" (beside the bench folder)
// with that extra layout added.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelLayouts.h"
#include "core/kelRes.h"
#include "platform/PlatHeadless.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kEveryKindLayout = 900;

// The eleven panels' layouts, as start-up attaches them.
const int16_t kLayouts[11][3] = {{1, 2, 8},    {5, -1, -1},  {3, 4, -1},  {9, -1, -1},
                                 {14, -1, -1}, {11, -1, -1}, {6, -1, -1}, {12, -1, -1},
                                 {13, -1, -1}, {15, -1, -1}, {16, -1, -1}};

kelLayoutItem item(int16_t kind, int16_t x, int16_t y, int16_t w, int16_t h, std::vector<int32_t> images,
                   std::vector<std::pair<int, int16_t>> aux = {})
{
    kelLayoutItem it;
    it.state = 2;
    it.offset = kelPoint{x, y};
    it.frameSize = kelPoint{w, h};
    for (size_t j = 0; j < images.size() && j < 10; ++j) it.imageCastIDs[j] = images[j];
    it.aux[kKelAuxKind] = kind;
    it.aux[kKelAuxSource] = -1;
    for (auto [k, v] : aux) it.aux[k] = v;
    return it;
}

// One control of each kind the application panels use, over the real pictures.
kelLayoutData everyKind()
{
    kelLayoutData d;
    d.header.design = kelRect(0, 0, 640, 480);
    std::vector<kelLayoutItem> items = {
        item(kelKindStaticCast, 20, 20, 80, 16, {1200}),
        item(kelKindButton, 20, 50, 18, 18, {0, 100, 101}),
        item(kelKindImage, 50, 50, 18, 18, {0, 100, 101}),
        item(kelKindCheck, 80, 50, 18, 18, {0, 100, 101}),
        item(kelKindRadio, 110, 50, 18, 18, {0, 100, 101}, {{1, 0}, {2, 1}}),
        item(kelKindRadio, 140, 50, 18, 18, {0, 100, 101}, {{1, 1}, {2, 1}}),
        item(kelKindText, 20, 80, 200, 14, {}),
        item(kelKindScroll, 20, 100, 200, 18, {0, 100}, {{1, 0}, {2, 100}}),
        item(kelKindRoundScroll, 240, 100, 60, 60, {0, 100}, {{1, 0}, {2, 100}, {4, 135}, {5, 405}, {7, 20}}),
        item(kelKindLevelBar, 20, 130, 200, 10, {0, 100}, {{3, 20}}),
        item(kelKindProgress, 20, 150, 360, 10, {0, 120}),
        item(kelKindRotor, 320, 100, 60, 60, {}),
        item(kelKindFluidFilm, 400, 100, 18, 18, {0, 100}, {{1, 1}}),
        item(kelKindRotary, 430, 100, 18, 18, {0, 100}, {{1, 1}}),
        item(kelKindPopup, 20, 180, 160, 18, {}, {{2, 4}, {3, 3}}),
        item(kelKindDragger, 200, 180, 72, 22, {104, 104}),
        item(kelKindDraggerReceiver, 280, 180, 72, 22, {104, 104}),
        item(kelKindImageBar, 20, 220, 0, 0, {120}),
        item(kelKindSpectre, 20, 240, 150, 40, {}),
    };
    items[17].sizeCastID = 120;
    for (size_t i = 0; i < items.size(); ++i) d.items[i] = items[i];
    d.header.itemCount = static_cast<int16_t>(items.size());
    return d;
}

std::string programDir()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return ".";
    self[n] = '\0';
    return fs::path(self).parent_path().parent_path().string();
}

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel) ? std::string(kel) : std::string();
}

// The whole screen of the program: eleven panels shown, and optionally the
// panel of every kind over them.
class Screen {
public:
    explicit Screen(bool withEveryKind)
    {
        const std::string copy =
            fs::temp_directory_path().string() + "/bench-panels-" + std::to_string(getpid()) + ".xrs";
        fs::copy_file(programDir() + "/Beatloom.xrs", copy, fs::copy_options::overwrite_existing);
        {
            KelResFile out;
            out.SetWorkName(kelOf(copy).c_str());
            out.Open();
            const std::vector<uint8_t> bytes = kelLayoutWrite(everyKind());
            out.SaveData(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()),
                         kelLayoutType, kEveryKindLayout);
            out.Close();
        }
        file.SetWorkName(kelOf(copy).c_str());
        file.openReadOnly = 1;
        ok = file.Open();
        fs::remove(copy);
        casts.resFile = &file;
        casts.ParseResources();

        plat::setBackend(std::make_unique<plat::HeadlessBackend>(640, 480));
        kelGlo = kelGloRec{};
        kelGlo.running = 1;
        kelGlo.screenWidth = 640;
        kelGlo.screenHeight = 480;
        PWScreen.reset();
        PWScreen.setup();
        PWFont.setup(&casts, 500);
        for (int16_t i = 0; i < 11; ++i) {
            panels[i] = std::make_unique<PWPanelClass>();
            const int16_t* l = kLayouts[i];
            panels[i]->attachLayouts(l[0], l[1], l[2], &casts, &PWScreen.stage);
            PWScreen.connect(panels[i].get(), i, 0);
            PWScreen.setProps(i, 0, 0, 0, 0);
            PWScreen.show(i);
        }
        if (withEveryKind) {
            // In place of the progress panel, the topmost.
            PWScreen.hide(10);
            extra.attachLayouts(kEveryKindLayout, -1, -1, &casts, &PWScreen.stage);
            PWScreen.connect(&extra, 10, 0);
            PWScreen.setProps(10, 0, 0, 0, 0);
            PWScreen.show(10);
            for (int16_t c = 0; c < extra.controlCount; ++c) extra.control(c)->set(int16_t{50});
            char text[] = "Every kind of control";
            extra.control(6)->setValue(text);
            extra.control(11)->set(int16_t{1});
            extra.control(11)->set(int16_t{2});
            for (int16_t i = 0; i < 12; ++i) {
                char entry[] = "A pop-up item";
                extra.control(14)->setValue(i, entry);
            }
            extra.control(14)->set(int16_t{3});
        }
        plat::backend().openWindow(1, 640, 480, "bench");
        PWScreen.resized();
        PWScreen.drawable = 1;
    }
    ~Screen()
    {
        PWScreen.reset();
        PWFont.reset();
        for (auto& p : panels) p.reset();
        plat::clearBackend();
    }
    int controlsDrawn() const
    {
        int n = 0;
        for (int16_t i = 0; i < 11; ++i) n += PWScreen.isVisible(i) ? PWScreen.panel(i)->controlCount : 0;
        return n;
    }

    bool ok = false;
    KelResFile file;
    KelCasts casts;
    std::unique_ptr<PWPanelClass> panels[11];
    PWPanelClass extra;
};

void BM_ComposeWholeStage(benchmark::State& state)
{
    Screen screen(state.range(0) != 0);
    if (!screen.ok) {
        state.SkipWithError("no Beatloom.xrs beside the bench folder");
        return;
    }
    const kelRect whole(0, 0, 640, 480);
    for (auto _ : state) {
        PWScreen.update(&whole);
        benchmark::ClobberMemory();
    }
    state.counters["controls"] = screen.controlsDrawn();
}
BENCHMARK(BM_ComposeWholeStage)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_RefreshOneControl(benchmark::State& state)
{
    Screen screen(true);
    if (!screen.ok) {
        state.SkipWithError("no Beatloom.xrs beside the bench folder");
        return;
    }
    // The song browser's close button, over the groove panel and the browser.
    kelPanelControl* close = screen.panels[6]->control(1);
    for (auto _ : state) {
        close->draw();
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = close->rect.width() * close->rect.height();
}
BENCHMARK(BM_RefreshOneControl)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
