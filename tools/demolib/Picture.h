// The song pictures the song browser shows: a small scene in the song's
// colours over the outline of its audition, painted at four times the size
// and reduced (smooth edges), then fitted to a palette of 256 colours.
#pragma once

#include "tools/demolib/Output.h"
#include "tools/demolib/Song.h"

namespace demolib {

constexpr int kPictureWidth = 160;
constexpr int kPictureHeight = 120;

Picture paintPicture(const Song& song, const Stereo& preview);

}  // namespace demolib
