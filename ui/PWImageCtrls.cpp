#include "ui/PWImageCtrls.h"

#include <algorithm>

#include "ui/PWScreen.h"
#include "ui/kelPanStdCtrls.h"

void imageIDControl::setup()
{
    if (pictures.OpenResFile(kPWHelpPicturesFile)) pictures.ParseResources();
    shown = nullptr;
}

void imageIDControl::draw()
{
    kelRefreshControl(this);
}

void imageIDControl::setValue(int16_t id)
{
    if (shown) shown->Unload();
    shown = pictures.castAt(pictures.MPixIDtoIndex(id));
    if (shown) shown->LoadAvailable();
    draw();
}

void imageIDControl::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow || !shown || !shown->imageLoaded) return;
    kelRect at = shown->image.bounds;
    at.offset(rect.left, rect.top);
    PWScreen.copyToUpdate(&shown->image, &shown->image.bounds, &at);
}

void imagePtrControl::draw()
{
    kelRefreshControl(this);
}

void imagePtrControl::setValue(int16_t, uint8_t* image)
{
    picture = reinterpret_cast<const kelOffmap*>(image);
    draw();
}

void imagePtrControl::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow || !picture || !picture->pixels) return;
    kelRect at = picture->bounds;
    at.offset(rect.left, rect.top);
    PWScreen.copyToUpdate(picture, &picture->bounds, &at);
}

void imageBarControl::draw()
{
    kelRefreshControl(this);
}

void imageBarControl::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, 1, kMaxColumns);
    if (v == value) return;
    value = v;
    draw();
}

void imageBarControl::setValue(int16_t i, int16_t)
{
    const kelOffmap* bar = itemImage(0);
    if (i != kelPropDrawNow || !bar) return;
    // Never past the control's own rectangle.
    const int columns = std::min<int>(value, rect.width());
    const int rows = std::min<int>(bar->size.v, rect.height());
    const kelRect from(0, 0, columns, rows);
    const kelRect to(rect.left, rect.top, rect.left + columns, rect.top + rows);
    PWScreen.copyToUpdate(bar, &from, &to);
}
