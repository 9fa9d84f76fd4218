#include "tools/demolib/Analysis.h"

#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>

#include "tools/demolib/Dsp.h"

namespace demolib {

const std::vector<double> kBands = {20, 60, 250, 500, 2000, 6000, 12000, 20000};

namespace {

void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -kTwoPi / static_cast<double>(len);
        const std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

double db(double v)
{
    return v > 1e-12 ? 20.0 * std::log10(v) : -240.0;
}

}  // namespace

std::vector<double> powerSpectrum(const std::vector<float>& x, int size)
{
    std::vector<double> power(static_cast<size_t>(size / 2 + 1), 0.0);
    std::vector<std::complex<double>> buf(static_cast<size_t>(size));
    int blocks = 0;
    for (size_t start = 0; start + static_cast<size_t>(size) <= x.size();
         start += static_cast<size_t>(size / 2)) {
        for (int i = 0; i < size; ++i) {
            const double w = 0.5 - 0.5 * std::cos(kTwoPi * i / size);
            buf[static_cast<size_t>(i)] = {x[start + static_cast<size_t>(i)] * w, 0.0};
        }
        fft(buf);
        for (size_t k = 0; k < power.size(); ++k) power[k] += std::norm(buf[k]);
        ++blocks;
    }
    if (blocks > 0)
        for (double& p : power) p /= blocks;
    return power;
}

Measures measure(const Stereo& s, int framesPerBeat)
{
    Measures m;
    const double peak = peakOf(s), rms = rmsOf(s);
    m.peakDb = db(peak);
    m.rmsDb = db(rms);
    m.crestDb = m.peakDb - m.rmsDb;
    const size_t n = s.l.size();
    double sl = 0, sr = 0, lr = 0, ll = 0, rr = 0;
    std::vector<float> mono(n);
    for (size_t i = 0; i < n; ++i) {
        sl += s.l[i];
        sr += s.r[i];
        lr += static_cast<double>(s.l[i]) * s.r[i];
        ll += static_cast<double>(s.l[i]) * s.l[i];
        rr += static_cast<double>(s.r[i]) * s.r[i];
        mono[i] = 0.5f * (s.l[i] + s.r[i]);
    }
    if (n > 0) m.dc = std::fmax(std::fabs(sl / n), std::fabs(sr / n));
    m.correlation = ll > 0 && rr > 0 ? lr / std::sqrt(ll * rr) : 0.0;

    const int size = 8192;
    const std::vector<double> p = powerSpectrum(mono, size);
    double total = 0;
    for (double v : p) total += v;
    for (size_t b = 0; b + 1 < kBands.size(); ++b) {
        double sum = 0;
        for (size_t k = 0; k < p.size(); ++k) {
            const double hz = static_cast<double>(k) * kRate / size;
            if (hz >= kBands[b] && hz < kBands[b + 1]) sum += p[k];
        }
        m.bandsDb.push_back(total > 0 ? 10.0 * std::log10(sum / total + 1e-12) : -120.0);
    }

    // Low end (below about 120 Hz) in the 60 ms after each beat against the
    // 60 ms after each off-beat eighth.
    OnePole a, b;
    a.set(120);
    b.set(120);
    std::vector<double> low(n);
    for (size_t i = 0; i < n; ++i) low[i] = b.lowpass(a.lowpass(mono[i]));
    const size_t win = static_cast<size_t>(0.06 * kRate);
    double on = 0, off = 0;
    for (size_t beat = 0; beat + static_cast<size_t>(framesPerBeat) <= n;
         beat += static_cast<size_t>(framesPerBeat)) {
        for (size_t i = 0; i < win; ++i) {
            on += low[beat + i] * low[beat + i];
            const size_t o = beat + static_cast<size_t>(framesPerBeat / 2) + i;
            if (o < n) off += low[o] * low[o];
        }
    }
    m.beatLowDb = off > 0 ? 10.0 * std::log10(on / off) : 0.0;
    return m;
}

bool writeSpectrogram(const std::string& path, const Stereo& s, int hop)
{
    constexpr int kSize = 4096;
    constexpr int kRows = 300;
    const int n = s.frames();
    const int cols = n > kSize ? (n - kSize) / hop + 1 : 0;
    if (cols <= 0) return false;
    std::vector<unsigned char> img(static_cast<size_t>(cols * kRows * 3), 0);
    std::vector<std::complex<double>> buf(kSize);
    for (int c = 0; c < cols; ++c) {
        for (int i = 0; i < kSize; ++i) {
            const size_t k = static_cast<size_t>(c * hop + i);
            const double w = 0.5 - 0.5 * std::cos(kTwoPi * i / kSize);
            buf[static_cast<size_t>(i)] = {0.5 * (s.l[k] + s.r[k]) * w, 0.0};
        }
        fft(buf);
        for (int row = 0; row < kRows; ++row) {
            const double f0 = 30.0 * std::pow(20000.0 / 30.0, static_cast<double>(row) / kRows);
            const double f1 = 30.0 * std::pow(20000.0 / 30.0, static_cast<double>(row + 1) / kRows);
            int b0 = static_cast<int>(f0 * kSize / kRate), b1 = static_cast<int>(f1 * kSize / kRate);
            if (b1 <= b0) b1 = b0 + 1;
            double p = 0;
            for (int b = b0; b < b1 && b <= kSize / 2; ++b)
                p = std::fmax(p, std::norm(buf[static_cast<size_t>(b)]));
            const double level =
                clampd((10.0 * std::log10(p / (kSize * kSize / 16.0) + 1e-20) + 100.0) / 100.0, 0.0, 1.0);
            // Black, purple, orange, pale yellow.
            const double r = clampd(level * 1.8 - 0.2, 0, 1), g = clampd(level * 1.6 - 0.6, 0, 1),
                         b = clampd(std::sin(level * 3.1) * 0.8, 0, 1);
            const size_t o = static_cast<size_t>(((kRows - 1 - row) * cols + c) * 3);
            img[o] = static_cast<unsigned char>(r * 255);
            img[o + 1] = static_cast<unsigned char>(g * 255);
            img[o + 2] = static_cast<unsigned char>(b * 255);
        }
    }
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << cols << " " << kRows << "\n255\n";
    f.write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
    return static_cast<bool>(f);
}

std::string describe(const Measures& m)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "peak %6.1f rms %6.1f crest %5.1f dc %.5f corr %.2f beat-low %+5.1f | bands", m.peakDb,
                  m.rmsDb, m.crestDb, m.dc, m.correlation, m.beatLowDb);
    std::string out = buf;
    for (double v : m.bandsDb) {
        std::snprintf(buf, sizeof buf, " %6.1f", v);
        out += buf;
    }
    return out;
}

}  // namespace demolib
