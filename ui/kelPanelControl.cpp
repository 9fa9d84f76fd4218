#include "ui/kelPanelControl.h"

void kelPanelControl::calc()
{
    // Controls built from a layout take their rectangle from it; the layouts
    // arrive with the image casts.
}

void kelPanelControl::enable()
{
    if (enabled) return;
    enabled = 1;
    statusChanged();
}

void kelPanelControl::disable()
{
    if (!enabled) return;
    enabled = 0;
    statusChanged();
}

void kelPanelControl::show()
{
    if (visible) return;
    visible = 1;
    draw();
}

void kelPanelControl::setLinkedValues()
{
    if (linkedShort) setValue(*linkedShort);
    if (linkedLong) setValue(*linkedLong);
    if (linkedText) setValue(linkedText);
    if (linkedBytes) setValue(linkedBytes);
}

void kelPanelControl::getLinkedValues()
{
    if (linkedShort) getValue(*linkedShort);
    if (linkedLong) getValue(*linkedLong);
    if (linkedText) getValue(linkedText);
    if (linkedBytes) getValue(linkedBytes);
}
