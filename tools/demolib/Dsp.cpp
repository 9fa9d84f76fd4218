#include "tools/demolib/Dsp.h"

namespace demolib {

namespace {

constexpr double kLowestHz = 16.0;
constexpr double kHighestPartial = 19000.0;

// Top pitch of a slot: half octaves up from kLowestHz.
double slotTop(int slot)
{
    return kLowestHz * std::pow(2.0, 0.5 * (slot + 1));
}

}  // namespace

WaveTables::WaveTables()
{
    const int n = kTableSize;
    for (int s = 0; s < kSlots; ++s) {
        int partials = static_cast<int>(kHighestPartial / slotTop(s));
        if (partials < 1) partials = 1;
        std::vector<float>& t = data_[s];
        t.assign(static_cast<size_t>(n + 1), 0.0f);
        for (int i = 0; i < n; ++i) {
            const double x = kTwoPi * i / n;
            // sin(kx) by the Chebyshev recurrence, in a fixed order.
            const double c2 = 2.0 * std::cos(x);
            double prev = 0.0, cur = std::sin(x), sum = 0.0;
            for (int k = 1; k <= partials; ++k) {
                // The top fifth of the partials fades out, so stepping to the
                // next slot changes the brightness gently.
                const double taper = k > 0.8 * partials ? (partials - k + 1) / (0.2 * partials + 1) : 1.0;
                sum += taper * cur / k;
                const double next = c2 * cur - prev;
                prev = cur;
                cur = next;
            }
            // The rising saw, 2 * phase - 1.
            t[static_cast<size_t>(i)] = static_cast<float>(sum * -2.0 / kPi);
        }
        t[static_cast<size_t>(n)] = t[0];
    }
}

const WaveTables& WaveTables::get()
{
    static const WaveTables tables;
    return tables;
}

int WaveTables::slot(double hz)
{
    int s = 0;
    while (s < kSlots - 1 && hz > slotTop(s)) ++s;
    return s;
}

const float* WaveTables::table(double hz) const
{
    return data_[slot(hz)].data();
}

}  // namespace demolib
