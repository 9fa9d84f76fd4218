#include "e2e/ScreenPictures.h"

#include "core/kelFiles.h"
#include "support/TestSupport.h"

namespace e2e {

Shot::Shot(const std::string& path)
{
    const std::string bytes = testsupport::readFile(path);
    if (!plat::decodePng(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), picture_))
        picture_ = plat::RgbaPicture{};
}

uint16_t Shot::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= picture_.width || y >= picture_.height) return 0xFFFF;
    const uint8_t* p = &picture_.rgba[(static_cast<size_t>(y) * picture_.width + x) * 4];
    return static_cast<uint16_t>(((p[0] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[2] >> 3));
}

SkinPictures::SkinPictures(const std::string& xrsPath)
{
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(xrsPath.c_str(), kel, sizeof kel)) return;
    file_.SetWorkName(kel);
    file_.openReadOnly = 1;
    if (!file_.Open()) return;
    casts_.resFile = &file_;
    casts_.ParseResources();
}

KelOneCast* SkinPictures::cast(int32_t castID)
{
    KelOneCast* c = casts_.castAt(casts_.MPixIDtoIndex(castID));
    if (c) c->LoadAvailable();
    return c;
}

int SkinPictures::pixel(int32_t castID, int x, int y)
{
    KelOneCast* c = cast(castID);
    if (!c || !c->imageLoaded || !c->image.bounds.contains(static_cast<int16_t>(x), static_cast<int16_t>(y)))
        return -1;
    return c->image.getPixel(static_cast<int16_t>(x), static_cast<int16_t>(y));
}

int SkinPictures::mask(int32_t castID, int x, int y)
{
    KelOneCast* c = cast(castID);
    if (!c || !c->maskLoaded || !c->mask.bounds.contains(static_cast<int16_t>(x), static_cast<int16_t>(y)))
        return -1;
    return c->mask.getPixel(static_cast<int16_t>(x), static_cast<int16_t>(y));
}

kelPoint SkinPictures::size(int32_t castID)
{
    KelOneCast* c = cast(castID);
    return c ? c->size : kelPoint{};
}

}  // namespace e2e
