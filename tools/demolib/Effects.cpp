#include "tools/demolib/Effects.h"

#include <array>
#include <cmath>
#include <vector>

#include "tools/demolib/Dsp.h"

namespace demolib {

namespace {

// Runs `step(i, inL, inR, outL, outR)` over the loop `passes` times and keeps
// the outputs of the last pass.
template <class Step>
void runCircular(Stereo& loop, int passes, Step&& step)
{
    const int n = loop.frames();
    Stereo out(n);
    for (int p = 0; p < passes; ++p) {
        const bool keep = p == passes - 1;
        for (int i = 0; i < n; ++i) {
            double ol = 0.0, orr = 0.0;
            step(i, static_cast<double>(loop.l[static_cast<size_t>(i)]),
                 static_cast<double>(loop.r[static_cast<size_t>(i)]), ol, orr);
            if (keep) {
                out.l[static_cast<size_t>(i)] = static_cast<float>(ol);
                out.r[static_cast<size_t>(i)] = static_cast<float>(orr);
            }
        }
    }
    loop = std::move(out);
}

int passesFor(double tailSeconds, int frames)
{
    const double tail = tailSeconds * kRate;
    return 1 + static_cast<int>(std::ceil(tail / static_cast<double>(frames)));
}

class DelayLine {
public:
    explicit DelayLine(int length) : buf_(static_cast<size_t>(length > 1 ? length : 1), 0.0f) {}
    double read() const { return buf_[pos_]; }
    // Reads `back` samples (fractional) behind the write position.
    double readAt(double back) const
    {
        const double n = static_cast<double>(buf_.size());
        double p = static_cast<double>(pos_) - back;
        while (p < 0.0) p += n;
        const size_t i0 = static_cast<size_t>(p);
        const double f = p - static_cast<double>(i0);
        const size_t i1 = (i0 + 1) % buf_.size();
        return buf_[i0] * (1.0 - f) + buf_[i1] * f;
    }
    void write(double v)
    {
        buf_[pos_] = static_cast<float>(v);
        if (++pos_ == buf_.size()) pos_ = 0;
    }
    size_t length() const { return buf_.size(); }

private:
    std::vector<float> buf_;
    size_t pos_ = 0;
};

class Allpass {
public:
    Allpass(int length, double g) : line_(length), g_(g) {}
    double process(double x)
    {
        const double d = line_.read();
        const double y = -g_ * x + d;
        line_.write(x + g_ * y);
        return y;
    }

private:
    DelayLine line_;
    double g_;
};

}  // namespace

void reverb(Stereo& loop, const ReverbSettings& s)
{
    static const std::array<int, 8> kLengths = {1433, 1601, 1867, 2053, 2251, 2399, 2617, 2797};
    std::vector<DelayLine> lines;
    std::array<double, 8> gains{};
    std::array<OnePole, 8> damp{};
    for (size_t i = 0; i < 8; ++i) {
        const int len = static_cast<int>(kLengths[i] * s.size);
        lines.emplace_back(len);
        gains[i] = std::pow(10.0, -3.0 * len / (s.seconds * kRate));
        damp[i].set(s.damping);
    }
    std::vector<Allpass> diffuse;
    for (int len : {142, 107, 379, 277}) diffuse.emplace_back(static_cast<int>(len * s.size), 0.62);
    DelayLine pre(static_cast<int>(s.predelay * kRate) + 1);
    OnePole lowCutL, lowCutR;
    lowCutL.set(s.lowCut);
    lowCutR.set(s.lowCut);

    const Stereo dry = loop;
    Stereo wet = loop;
    runCircular(wet, passesFor(s.seconds + s.predelay, loop.frames()),
                [&](int, double inL, double inR, double& ol, double& orr) {
                    pre.write(0.5 * (inL + inR));
                    double x = pre.read();
                    for (Allpass& a : diffuse) x = a.process(x);
                    std::array<double, 8> o{};
                    double sum = 0.0;
                    for (size_t i = 0; i < 8; ++i) {
                        o[i] = damp[i].lowpass(lines[i].read()) * gains[i];
                        sum += o[i];
                    }
                    sum *= 2.0 / 8.0;
                    for (size_t i = 0; i < 8; ++i) lines[i].write(o[i] - sum + ((i & 1) ? -x : x) * 0.5);
                    ol = lowCutL.highpass(o[0] + o[2] - o[4] + o[6]);
                    orr = lowCutR.highpass(o[1] - o[3] + o[5] + o[7]);
                });
    loop = dry;
    mixInto(loop, wet, s.mix);
}

void echo(Stereo& loop, const DelaySettings& s)
{
    const int len = static_cast<int>(s.seconds * kRate);
    DelayLine dl(len), dr(len);
    OnePole toneL, toneR, lowL, lowR;
    toneL.set(s.tone);
    toneR.set(s.tone);
    lowL.set(150);
    lowR.set(150);
    const double tail = s.seconds * (std::log(1e-3) / std::log(std::fmax(s.feedback, 0.01)) + 1.0);
    const Stereo dry = loop;
    Stereo wet = loop;
    runCircular(wet, passesFor(tail, loop.frames()),
                [&](int, double inL, double inR, double& ol, double& orr) {
                    const double el = dl.read();
                    const double er = dr.read();
                    ol = el;
                    orr = er;
                    const double fl = lowL.highpass(toneL.lowpass(el)) * s.feedback;
                    const double fr = lowR.highpass(toneR.lowpass(er)) * s.feedback;
                    if (s.pingPong) {
                        dl.write(0.5 * (inL + inR) + fr);
                        dr.write(fl);
                    } else {
                        dl.write(inL + fl);
                        dr.write(inR + fr);
                    }
                });
    loop = dry;
    mixInto(loop, wet, s.mix);
}

void chorus(Stereo& loop, double depthMs, int cyclesPerLoop, double mix)
{
    const int n = loop.frames();
    const double base = 0.012 * kRate;
    const double depth = depthMs * 0.001 * kRate;
    DelayLine dl(static_cast<int>(base + depth) + 4), dr(static_cast<int>(base + depth) + 4);
    const Stereo dry = loop;
    Stereo wet = loop;
    runCircular(wet, 2, [&](int i, double inL, double inR, double& ol, double& orr) {
        const double ph = kTwoPi * cyclesPerLoop * static_cast<double>(i) / n;
        dl.write(inL);
        dr.write(inR);
        ol = dl.readAt(base + depth * 0.5 * (1.0 + std::sin(ph)));
        orr = dr.readAt(base + depth * 0.5 * (1.0 + std::cos(ph)));
    });
    loop = dry;
    scale(loop, 1.0 - 0.5 * mix);
    mixInto(loop, wet, mix);
}

void pump(Stereo& loop, int framesPerBeat, double depth, double recover)
{
    // The dip takes 12 ms on a smooth curve: a quicker one is heard as a
    // click when the loop plays without the kick that hides it.
    const double attack = 0.012 * kRate;
    const double rel = recover * kRate / 3.0;
    for (int i = 0; i < loop.frames(); ++i) {
        const double t = static_cast<double>(i % framesPerBeat);
        const double duck =
            t < attack ? 0.5 - 0.5 * std::cos(kPi * t / attack) : std::exp(-(t - attack) / rel);
        const float g = static_cast<float>(1.0 - depth * duck);
        loop.l[static_cast<size_t>(i)] *= g;
        loop.r[static_cast<size_t>(i)] *= g;
    }
}

void sweepLowpass(Stereo& loop, double fromHz, double toHz, double q, bool back)
{
    const int n = loop.frames();
    Svf fl, fr;
    const double ratio = toHz / fromHz;
    runCircular(loop, 2, [&](int i, double inL, double inR, double& ol, double& orr) {
        if ((i & 15) == 0) {
            double x = static_cast<double>(i) / n;
            if (back) x = x < 0.5 ? 2.0 * x : 2.0 - 2.0 * x;
            const double hz = fromHz * std::pow(ratio, x);
            fl.set(hz, q);
            fr.set(hz, q);
        }
        ol = fl.lowpass(inL);
        orr = fr.lowpass(inR);
    });
}

void saturate(Stereo& loop, double drive)
{
    const double norm = 1.0 / std::tanh(drive);
    for (int i = 0; i < loop.frames(); ++i) {
        loop.l[static_cast<size_t>(i)] =
            static_cast<float>(std::tanh(drive * loop.l[static_cast<size_t>(i)]) * norm);
        loop.r[static_cast<size_t>(i)] =
            static_cast<float>(std::tanh(drive * loop.r[static_cast<size_t>(i)]) * norm);
    }
}

void band(Stereo& loop, double lowHz, double highHz)
{
    OnePole hl, hr, ll, lr;
    hl.set(lowHz);
    hr.set(lowHz);
    ll.set(highHz);
    lr.set(highHz);
    runCircular(loop, 2, [&](int, double inL, double inR, double& ol, double& orr) {
        ol = ll.lowpass(hl.highpass(inL));
        orr = lr.lowpass(hr.highpass(inR));
    });
}

}  // namespace demolib
