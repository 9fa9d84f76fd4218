#include "tools/demolib/Sound.h"

#include <cmath>

#include "tools/demolib/Dsp.h"

namespace demolib {

PanGains panGains(double pan)
{
    // Equal power, normalised so the centre keeps unit gain.
    const double angle = (clampd(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
    return {std::cos(angle) * std::sqrt(2.0), std::sin(angle) * std::sqrt(2.0)};
}

namespace {

int64_t wrapStart(int64_t start, int64_t n)
{
    int64_t p = start % n;
    return p < 0 ? p + n : p;
}

}  // namespace

void placeWrapped(Stereo& loop, const Stereo& sound, int64_t start, double gain, double pan)
{
    const int64_t n = loop.frames();
    if (n == 0) return;
    const PanGains g = panGains(pan);
    const float gl = static_cast<float>(gain * g.l);
    const float gr = static_cast<float>(gain * g.r);
    int64_t p = wrapStart(start, n);
    const int64_t len = sound.frames();
    for (int64_t i = 0; i < len; ++i) {
        loop.l[static_cast<size_t>(p)] += sound.l[static_cast<size_t>(i)] * gl;
        loop.r[static_cast<size_t>(p)] += sound.r[static_cast<size_t>(i)] * gr;
        if (++p == n) p = 0;
    }
}

void placeWrapped(Stereo& loop, const std::vector<float>& sound, int64_t start, double gain, double pan)
{
    const int64_t n = loop.frames();
    if (n == 0) return;
    const PanGains g = panGains(pan);
    const float gl = static_cast<float>(gain * g.l);
    const float gr = static_cast<float>(gain * g.r);
    int64_t p = wrapStart(start, n);
    for (float v : sound) {
        loop.l[static_cast<size_t>(p)] += v * gl;
        loop.r[static_cast<size_t>(p)] += v * gr;
        if (++p == n) p = 0;
    }
}

double peakOf(const Stereo& s)
{
    double m = 0.0;
    for (size_t i = 0; i < s.l.size(); ++i) {
        m = std::fmax(m, std::fabs(static_cast<double>(s.l[i])));
        m = std::fmax(m, std::fabs(static_cast<double>(s.r[i])));
    }
    return m;
}

double rmsOf(const Stereo& s)
{
    if (s.l.empty()) return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < s.l.size(); ++i)
        sum += static_cast<double>(s.l[i]) * s.l[i] + static_cast<double>(s.r[i]) * s.r[i];
    return std::sqrt(sum / (2.0 * static_cast<double>(s.l.size())));
}

void removeDc(Stereo& s)
{
    for (std::vector<float>* ch : {&s.l, &s.r}) {
        if (ch->empty()) continue;
        double sum = 0.0;
        for (float v : *ch) sum += v;
        const float mean = static_cast<float>(sum / static_cast<double>(ch->size()));
        for (float& v : *ch) v -= mean;
    }
}

void scale(Stereo& s, double gain)
{
    const float g = static_cast<float>(gain);
    for (size_t i = 0; i < s.l.size(); ++i) {
        s.l[i] *= g;
        s.r[i] *= g;
    }
}

void mixInto(Stereo& dst, const Stereo& src, double gain)
{
    const float g = static_cast<float>(gain);
    const size_t n = dst.l.size() < src.l.size() ? dst.l.size() : src.l.size();
    for (size_t i = 0; i < n; ++i) {
        dst.l[i] += src.l[i] * g;
        dst.r[i] += src.r[i] * g;
    }
}

namespace {

int16_t toSample(float v)
{
    const double x = std::floor(static_cast<double>(v) * 32767.0 + 0.5);
    if (x > 32767.0) return 32767;
    if (x < -32767.0) return -32767;
    return static_cast<int16_t>(x);
}

}  // namespace

std::vector<int16_t> toPcm16(const Stereo& s)
{
    std::vector<int16_t> out(s.l.size() * 2);
    for (size_t i = 0; i < s.l.size(); ++i) {
        out[2 * i] = toSample(s.l[i]);
        out[2 * i + 1] = toSample(s.r[i]);
    }
    return out;
}

std::vector<int16_t> toPcm16Mono(const std::vector<float>& s)
{
    std::vector<int16_t> out(s.size());
    for (size_t i = 0; i < s.size(); ++i) out[i] = toSample(s[i]);
    return out;
}

}  // namespace demolib
