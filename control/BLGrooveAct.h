// The controller's own: what each of its actions begins and ends with.
#pragma once

#include "control/BLGrooveController.h"

// One action: a step for the keeper when a person made it; what the model
// does meanwhile is told as the action's origin.
class BLGrooveController::Act {
public:
    Act(BLGrooveController& c, BLOrigin from)
        : controller(c), before(c.acting), counts(BLOrigin_IsPersons(from))
    {
        controller.acting = from;
        if (counts) controller.actionBegins();
    }
    ~Act()
    {
        if (counts) controller.actionEnds();
        controller.acting = before;
    }
    Act(const Act&) = delete;
    Act& operator=(const Act&) = delete;

private:
    BLGrooveController& controller;
    BLOrigin before;
    bool counts;
};
