#include "tools/demolib/Picture.h"

#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "tools/demolib/Dsp.h"

namespace demolib {

namespace {

constexpr int kScale = 4;
constexpr int kW = kPictureWidth * kScale;
constexpr int kH = kPictureHeight * kScale;

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb hex(uint32_t v)
{
    return {static_cast<double>((v >> 16) & 255), static_cast<double>((v >> 8) & 255),
            static_cast<double>(v & 255)};
}

using Points = std::vector<std::pair<double, double>>;

class Canvas {
public:
    Canvas() : px_(static_cast<size_t>(kW * kH), Rgb{0, 0, 0}) {}

    void blend(int x, int y, Rgb c, double a)
    {
        if (x < 0 || y < 0 || x >= kW || y >= kH || a <= 0.0) return;
        Rgb& p = px_[static_cast<size_t>(y * kW + x)];
        p = mix(p, c, a > 1.0 ? 1.0 : a);
    }
    void add(int x, int y, Rgb c, double a)
    {
        if (x < 0 || y < 0 || x >= kW || y >= kH || a <= 0.0) return;
        Rgb& p = px_[static_cast<size_t>(y * kW + x)];
        p = {std::fmin(255.0, p.r + c.r * a), std::fmin(255.0, p.g + c.g * a),
             std::fmin(255.0, p.b + c.b * a)};
    }
    void gradient(double y0, double y1, const std::vector<Rgb>& stops)
    {
        for (int y = static_cast<int>(y0); y < static_cast<int>(y1); ++y) {
            const double t = clampd((y - y0) / (y1 - y0), 0.0, 1.0) * static_cast<double>(stops.size() - 1);
            const size_t k = static_cast<size_t>(std::fmin(t, static_cast<double>(stops.size() - 2)));
            const Rgb c = mix(stops[k], stops[k + 1], t - static_cast<double>(k));
            for (int x = 0; x < kW; ++x) blend(x, y, c, 1.0);
        }
    }
    void circle(double cx, double cy, double r, Rgb c, double a = 1.0)
    {
        for (int y = static_cast<int>(cy - r) - 1; y <= static_cast<int>(cy + r) + 1; ++y)
            for (int x = static_cast<int>(cx - r) - 1; x <= static_cast<int>(cx + r) + 1; ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                if (dx * dx + dy * dy <= r * r) blend(x, y, c, a);
            }
    }
    void ring(double cx, double cy, double r0, double r1, Rgb c, double a = 1.0)
    {
        for (int y = static_cast<int>(cy - r1) - 1; y <= static_cast<int>(cy + r1) + 1; ++y)
            for (int x = static_cast<int>(cx - r1) - 1; x <= static_cast<int>(cx + r1) + 1; ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                const double d2 = dx * dx + dy * dy;
                if (d2 >= r0 * r0 && d2 <= r1 * r1) blend(x, y, c, a);
            }
    }
    void glow(double cx, double cy, double r, Rgb c, double strength)
    {
        for (int y = static_cast<int>(cy - r); y <= static_cast<int>(cy + r); ++y)
            for (int x = static_cast<int>(cx - r); x <= static_cast<int>(cx + r); ++x) {
                const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r;
                if (d < 1.0) add(x, y, c, strength * (1.0 - d) * (1.0 - d));
            }
    }
    void rect(double x0, double y0, double x1, double y1, Rgb c, double a = 1.0)
    {
        for (int y = static_cast<int>(y0); y < static_cast<int>(y1); ++y)
            for (int x = static_cast<int>(x0); x < static_cast<int>(x1); ++x) blend(x, y, c, a);
    }
    // Even-odd fill, sampled at pixel centres.
    void polygon(const Points& pts, Rgb c, double a = 1.0)
    {
        if (pts.size() < 3) return;
        double top = pts[0].second, bottom = pts[0].second;
        for (const auto& p : pts) {
            top = std::fmin(top, p.second);
            bottom = std::fmax(bottom, p.second);
        }
        std::vector<double> xs;
        for (int y = static_cast<int>(std::floor(top)); y <= static_cast<int>(std::ceil(bottom)); ++y) {
            const double sy = y + 0.5;
            xs.clear();
            for (size_t i = 0; i < pts.size(); ++i) {
                const auto& p = pts[i];
                const auto& q = pts[(i + 1) % pts.size()];
                if ((p.second <= sy && q.second > sy) || (q.second <= sy && p.second > sy))
                    xs.push_back(p.first + (sy - p.second) * (q.first - p.first) / (q.second - p.second));
            }
            for (size_t i = 1; i < xs.size(); ++i)
                for (size_t j = i; j > 0 && xs[j] < xs[j - 1]; --j) std::swap(xs[j], xs[j - 1]);
            for (size_t i = 0; i + 1 < xs.size(); i += 2)
                for (int x = static_cast<int>(std::ceil(xs[i] - 0.5));
                     x < static_cast<int>(std::ceil(xs[i + 1] - 0.5)); ++x)
                    blend(x, y, c, a);
        }
    }
    void line(double x0, double y0, double x1, double y1, double w, Rgb c, double a = 1.0)
    {
        const double dx = x1 - x0, dy = y1 - y0;
        const double len = std::sqrt(dx * dx + dy * dy);
        if (len <= 0.0) return;
        const double nx = -dy / len * w * 0.5, ny = dx / len * w * 0.5;
        polygon({{x0 + nx, y0 + ny}, {x1 + nx, y1 + ny}, {x1 - nx, y1 - ny}, {x0 - nx, y0 - ny}}, c, a);
    }

    // Box-filters down to the picture size.
    std::vector<Rgb> reduce() const
    {
        std::vector<Rgb> out(static_cast<size_t>(kPictureWidth * kPictureHeight));
        for (int y = 0; y < kPictureHeight; ++y)
            for (int x = 0; x < kPictureWidth; ++x) {
                Rgb s{0, 0, 0};
                for (int j = 0; j < kScale; ++j)
                    for (int i = 0; i < kScale; ++i) {
                        const Rgb& p = px_[static_cast<size_t>((y * kScale + j) * kW + x * kScale + i)];
                        s.r += p.r;
                        s.g += p.g;
                        s.b += p.b;
                    }
                const double n = kScale * kScale;
                out[static_cast<size_t>(y * kPictureWidth + x)] = {s.r / n, s.g / n, s.b / n};
            }
        return out;
    }

private:
    std::vector<Rgb> px_;
};

double dist2(const Rgb& a, const Rgb& b)
{
    const double dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return 2.0 * dr * dr + 4.0 * dg * dg + 3.0 * db * db;
}

// Fits the colours to a palette of 256 by a few rounds of k-means.
Picture quantise(const std::vector<Rgb>& px)
{
    constexpr size_t kColours = 256;
    const size_t n = px.size();
    std::vector<Rgb> centre(kColours);
    for (size_t k = 0; k < kColours; ++k) centre[k] = px[k * n / kColours];
    std::vector<uint8_t> index(n, 0);
    auto assign = [&]() {
        for (size_t i = 0; i < n; ++i) {
            size_t best = 0;
            double bestD = dist2(px[i], centre[0]);
            for (size_t k = 1; k < kColours; ++k) {
                const double d = dist2(px[i], centre[k]);
                if (d < bestD) {
                    bestD = d;
                    best = k;
                }
            }
            index[i] = static_cast<uint8_t>(best);
        }
    };
    for (int round = 0; round < 8; ++round) {
        assign();
        std::vector<Rgb> sum(kColours, Rgb{0, 0, 0});
        std::vector<int> count(kColours, 0);
        for (size_t i = 0; i < n; ++i) {
            sum[index[i]].r += px[i].r;
            sum[index[i]].g += px[i].g;
            sum[index[i]].b += px[i].b;
            ++count[index[i]];
        }
        for (size_t k = 0; k < kColours; ++k)
            if (count[k] > 0) centre[k] = {sum[k].r / count[k], sum[k].g / count[k], sum[k].b / count[k]};
    }
    for (Rgb& c : centre)
        c = {std::floor(clampd(c.r, 0, 255) + 0.5), std::floor(clampd(c.g, 0, 255) + 0.5),
             std::floor(clampd(c.b, 0, 255) + 0.5)};
    assign();
    Picture pic;
    pic.width = kPictureWidth;
    pic.height = kPictureHeight;
    pic.pixels = std::move(index);
    for (const Rgb& c : centre) {
        pic.palette.push_back(static_cast<uint8_t>(c.r));
        pic.palette.push_back(static_cast<uint8_t>(c.g));
        pic.palette.push_back(static_cast<uint8_t>(c.b));
    }
    return pic;
}

// The audition's loudness along the picture's width, 0..1.
std::vector<double> envelope(const Stereo& preview)
{
    std::vector<double> env(static_cast<size_t>(kW), 0.0);
    const int n = preview.frames();
    if (n == 0) return env;
    double top = 0.0;
    for (int x = 0; x < kW; ++x) {
        const int a = static_cast<int>(static_cast<int64_t>(n) * x / kW);
        const int b = static_cast<int>(static_cast<int64_t>(n) * (x + 1) / kW);
        double sum = 0.0;
        for (int i = a; i < b; ++i) {
            const double m = 0.5 * (preview.l[static_cast<size_t>(i)] + preview.r[static_cast<size_t>(i)]);
            sum += m * m;
        }
        env[static_cast<size_t>(x)] = b > a ? std::sqrt(sum / (b - a)) : 0.0;
        top = std::fmax(top, env[static_cast<size_t>(x)]);
    }
    for (double& v : env) v = top > 0.0 ? std::sqrt(v / top) : 0.0;
    return env;
}

// The audition drawn as a mirrored band around `baseY`.
void drawSound(Canvas& c, const std::vector<double>& env, double baseY, double height, Rgb colour,
               double alpha)
{
    for (int x = 0; x < kW; ++x) {
        const double h = env[static_cast<size_t>(x)] * height;
        for (int y = static_cast<int>(baseY - h); y <= static_cast<int>(baseY + h * 0.6); ++y) {
            const double fade = y < baseY ? 1.0 : 0.45;
            c.blend(x, y, colour, alpha * fade);
        }
    }
}

void cityNight(Canvas& c, Rng& rng, const std::vector<double>& env)
{
    c.gradient(0, kH, {hex(0x120a2e), hex(0x3b1460), hex(0xb0306a), hex(0xf08a4b)});
    for (int i = 0; i < 60; ++i) {
        const double x = rng.uniform() * kW, y = rng.uniform() * kH * 0.5, r = 1.2 + rng.uniform() * 1.5;
        c.circle(x, y, r, hex(0xfff4e0), 0.4 + 0.5 * rng.uniform());
    }
    // A striped setting sun.
    const double sunY = kH * 0.5;
    c.glow(kW * 0.5, sunY, 230, hex(0xffb060), 0.5);
    c.circle(kW * 0.5, sunY, 120, hex(0xffcf5a));
    for (int k = 0; k < 6; ++k)
        c.rect(kW * 0.5 - 125, sunY + 12 + k * 17, kW * 0.5 + 125, sunY + 16 + k * 18.5 + k * 1.5,
               hex(0x7a2266), 0.9);
    // Skyline with lit windows.
    double x = 0;
    while (x < kW) {
        const double w = 30 + rng.uniform() * 50;
        const double h = 25 + rng.uniform() * 95;
        const double top = kH * 0.78 - h;
        c.rect(x, top, x + w - 3, kH, hex(0x1a0f2a));
        for (double wy = top + 8; wy < kH * 0.78 - 6; wy += 12)
            for (double wx = x + 5; wx < x + w - 10; wx += 9)
                if (rng.chance(0.35)) c.rect(wx, wy, wx + 4, wy + 6, hex(0xffd27a), 0.85);
        x += w;
    }
    c.rect(0, kH * 0.78, kW, kH, hex(0x1a0f2a));
    drawSound(c, env, kH * 0.9, 40, hex(0xff5fa8), 0.85);
}

void vinylRecord(Canvas& c, Rng& rng, const std::vector<double>& env)
{
    c.gradient(0, kH, {hex(0x3a2418), hex(0x7a4a26), hex(0xc98a3e)});
    for (int i = 0; i < 900; ++i) {
        const double x = rng.uniform() * kW, y = rng.uniform() * kH, r = 0.8 + rng.uniform() * 1.6;
        c.circle(x, y, r, hex(0xf5deb3), 0.15 * rng.uniform());
    }
    const double cx = kW * 0.62, cy = kH * 0.45, r = kH * 0.42;
    c.circle(cx + 10, cy + 12, r, hex(0x000000), 0.35);
    c.circle(cx, cy, r, hex(0x141110));
    for (double rr = r * 0.4; rr < r * 0.97; rr += 5.0) c.ring(cx, cy, rr, rr + 1.4, hex(0x3a3330), 0.55);
    // Light catching the grooves.
    c.polygon({{cx, cy}, {cx + r, cy - r * 0.55}, {cx + r, cy - r * 0.25}}, hex(0xffffff), 0.12);
    c.polygon({{cx, cy}, {cx - r, cy + r * 0.55}, {cx - r, cy + r * 0.25}}, hex(0xffffff), 0.12);
    c.circle(cx, cy, r * 0.33, hex(0xe8b04a));
    c.ring(cx, cy, r * 0.26, r * 0.28, hex(0x7a3b12), 0.8);
    c.circle(cx, cy, 7, hex(0x141110));
    drawSound(c, env, kH * 0.88, 36, hex(0xffe0a0), 0.75);
}

void neonGrid(Canvas& c, Rng& rng, const std::vector<double>& env)
{
    const double horizon = kH * 0.5;
    c.gradient(0, horizon, {hex(0x05021a), hex(0x1a0b4a), hex(0x6a1b9a)});
    c.gradient(horizon, kH, {hex(0x12002a), hex(0x05010f)});
    for (int i = 0; i < 50; ++i) {
        const double x = rng.uniform() * kW, y = rng.uniform() * horizon * 0.8, r = 1.0 + rng.uniform();
        c.circle(x, y, r, hex(0xd0e8ff), 0.6 * rng.uniform());
    }
    c.glow(kW * 0.5, horizon, 300, hex(0xff2bd6), 0.55);
    for (int k = -12; k <= 12; ++k)
        c.line(kW * 0.5 + k * 18, horizon, kW * 0.5 + k * 120, kH, 2.2, hex(0x20e0ff), 0.8);
    for (int k = 0; k < 12; ++k) {
        const double y = horizon + (kH - horizon) * std::pow(k / 11.0, 1.8);
        c.line(0, y, kW, y, 2.0, hex(0xff3cc8), 0.8);
    }
    // A bolt striking the horizon.
    c.polygon({{kW * 0.30, 20},
               {kW * 0.42, 20},
               {kW * 0.36, horizon * 0.48},
               {kW * 0.45, horizon * 0.48},
               {kW * 0.28, horizon + 10},
               {kW * 0.33, horizon * 0.6},
               {kW * 0.25, horizon * 0.6}},
              hex(0xfff36b));
    c.glow(kW * 0.34, horizon * 0.5, 120, hex(0xfff36b), 0.35);
    drawSound(c, env, horizon - 4, 70, hex(0x20e0ff), 0.55);
}

void seaSunset(Canvas& c, Rng&, const std::vector<double>& env)
{
    const double horizon = kH * 0.55;
    c.gradient(0, horizon, {hex(0x2c3e6b), hex(0x8a6ca8), hex(0xf2a07b), hex(0xffd39a)});
    c.glow(kW * 0.68, horizon - 30, 220, hex(0xffc070), 0.35);
    c.circle(kW * 0.68, horizon - 30, 60, hex(0xfff0c8));
    c.gradient(horizon, kH, {hex(0x2f6f8f), hex(0x163a5a), hex(0x0b1e33)});
    for (int layer = 0; layer < 6; ++layer) {
        const double base = horizon + 18 + layer * 34;
        Points wave;
        for (int x = 0; x <= kW; x += 8)
            wave.emplace_back(x,
                              base + 7 * std::sin(x * 0.02 + layer * 1.7) + 4 * std::sin(x * 0.053 + layer));
        wave.emplace_back(kW, kH);
        wave.emplace_back(0, kH);
        c.polygon(wave, mix(hex(0x3f8fb0), hex(0x0b2a45), layer / 5.0), 0.55);
    }
    // The sun's path on the water.
    for (int k = 0; k < 14; ++k) {
        const double y = horizon + 6 + k * 14;
        const double w = 24 + k * 9;
        c.rect(kW * 0.68 - w * 0.5, y, kW * 0.68 + w * 0.5, y + 3, hex(0xffe0a8), 0.5 - k * 0.03);
    }
    drawSound(c, env, horizon - 2, 50, hex(0xffffff), 0.35);
}

void ironMill(Canvas& c, Rng& rng, const std::vector<double>& env)
{
    c.gradient(0, kH, {hex(0x1b1d21), hex(0x2c3036), hex(0x121316)});
    for (int k = 0; k < 9; ++k) {
        const double s = 40 + k * 28;
        const double cx = kW * 0.5, cy = kH * 0.45;
        const double a = k * 0.12;
        Points sq;
        for (int j = 0; j < 4; ++j) {
            const double ang = a + j * kPi / 2 + kPi / 4;
            sq.emplace_back(cx + s * std::cos(ang), cy + s * std::sin(ang));
        }
        for (size_t j = 0; j < 4; ++j)
            c.line(sq[j].first, sq[j].second, sq[(j + 1) % 4].first, sq[(j + 1) % 4].second, 3.0,
                   k % 3 == 2 ? hex(0xe0402a) : hex(0x9aa3ad), 0.7);
    }
    for (int i = 0; i < 300; ++i) {
        const double x = rng.uniform() * kW, y = rng.uniform() * kH;
        c.circle(x, y, 1.0, hex(0xc8d0d8), 0.2 * rng.uniform());
    }
    c.circle(kW * 0.5, kH * 0.45, 18, hex(0xe0402a));
    drawSound(c, env, kH * 0.88, 38, hex(0xe0402a), 0.7);
}

void riverbed(Canvas& c, Rng& rng, const std::vector<double>& env)
{
    c.gradient(0, kH, {hex(0x06303a), hex(0x0d5a5e), hex(0x0a2c33)});
    for (int i = 0; i < 40; ++i) {
        const double x = rng.uniform() * kW, y = rng.uniform() * kH, r = 6 + rng.uniform() * 16;
        c.circle(x, y, r, mix(hex(0x5b6e5d), hex(0xa8a27a), rng.uniform()), 0.35);
    }
    const std::array<std::pair<double, double>, 3> drops = {
        {{kW * 0.3, kH * 0.35}, {kW * 0.7, kH * 0.55}, {kW * 0.45, kH * 0.75}}};
    for (const auto& [x, y] : drops)
        for (int k = 1; k < 9; ++k) c.ring(x, y, k * 22.0, k * 22.0 + 2.5, hex(0xbff6f0), 0.5 - k * 0.05);
    drawSound(c, env, kH * 0.5, 60, hex(0x7ff0d8), 0.45);
}

}  // namespace

Picture paintPicture(const Song& song, const Stereo& preview)
{
    Canvas c;
    Rng rng(static_cast<uint64_t>(song.bpm) * 31u + static_cast<uint64_t>(song.pictureTheme));
    const std::vector<double> env = envelope(preview);
    switch (song.pictureTheme) {
        case 1: vinylRecord(c, rng, env); break;
        case 2: neonGrid(c, rng, env); break;
        case 3: seaSunset(c, rng, env); break;
        case 4: ironMill(c, rng, env); break;
        case 5: riverbed(c, rng, env); break;
        default: cityNight(c, rng, env); break;
    }
    return quantise(c.reduce());
}

}  // namespace demolib
