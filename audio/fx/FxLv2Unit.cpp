#include "audio/fx/FxLv2Unit.h"

#include <algorithm>

FxLv2Unit::FxLv2Unit(std::vector<std::unique_ptr<plat::Lv2Instance>> instances)
    : instances_(std::move(instances)), scratch_(kFxMaxBlock, 0.0f)
{
}

void FxLv2Unit::setParam(int index, float value)
{
    for (auto& i : instances_)
        if (index >= 0 && index < static_cast<int>(i->plugin().controls.size())) i->controls()[index] = value;
}

void FxLv2Unit::process(float* left, float* right, int n, const FxContext&)
{
    n = std::min(n, kFxMaxBlock);
    const plat::Lv2Plugin& p = instances_[0]->plugin();
    float* m = scratch_.data();
    if (instances_.size() == 2) {
        const float* inL[1] = {left};
        const float* inR[1] = {right};
        float* outL[1] = {left};
        float* outR[1] = {right};
        instances_[0]->run(inL, outL, n);
        instances_[1]->run(inR, outR, n);
    } else if (p.audioIn == 2 && p.audioOut == 2) {
        const float* in[2] = {left, right};
        float* out[2] = {left, right};
        instances_[0]->run(in, out, n);
    } else if (p.audioIn == 1) {
        for (int i = 0; i < n; ++i) m[i] = 0.5f * (left[i] + right[i]);
        const float* in[1] = {m};
        if (p.audioOut == 2) {
            float* out[2] = {left, right};
            instances_[0]->run(in, out, n);
        } else {
            float* out[1] = {m};
            instances_[0]->run(in, out, n);
            std::copy(m, m + n, left);
            std::copy(m, m + n, right);
        }
    } else {
        const float* in[2] = {left, right};
        float* out[1] = {m};
        instances_[0]->run(in, out, n);
        std::copy(m, m + n, left);
        std::copy(m, m + n, right);
    }
}

void FxLv2Unit::reset()
{
    for (auto& i : instances_) i->reset();
}
