// An LV2 plugin as a unit: a stereo plugin runs once for both sides, a mono
// one twice (one instance a side); a mono input takes both sides together,
// a mono output goes to both.
#pragma once

#include <memory>
#include <vector>

#include "audio/fx/FxUnit.h"
#include "platform/PlatLv2.h"

class FxLv2Unit : public FxUnit {
public:
    // One instance, or two for a plugin of one input and one output.
    explicit FxLv2Unit(std::vector<std::unique_ptr<plat::Lv2Instance>> instances);
    void process(float* left, float* right, int n, const FxContext& c) override;
    void setParam(int index, float value) override;
    void reset() override;
    // The first instance (its state is the unit's).
    plat::Lv2Instance& instance() { return *instances_[0]; }

private:
    std::vector<std::unique_ptr<plat::Lv2Instance>> instances_;
    std::vector<float> scratch_;
};
