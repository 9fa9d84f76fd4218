// The song browser's information area: the selected song's title, tempo and
// description, and its library's picture.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/BLInternational.h"
#include "core/kelCasts.h"
#include "core/kelQt.h"
#include "core/kelRes.h"
#include "core/kelTextCodec.h"
#include "core/kelTextFile.h"
#include "library/BLSongLibrary.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/startup/PWmain.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr long kTypeText = 0x54455854;  // 'TEXT'
constexpr long kLibraryPictures = 2;
constexpr long kCastNames = 3;

// Names that go into a file name must stay a name: no separator.
bool plainName(const char* name)
{
    return name[0] && !std::strchr(name, ':');
}

}  // namespace

void BLLoadPanel::clearInfo()
{
    for (int16_t i = 0; i < kInfoLines; ++i) setText(static_cast<int16_t>(kItemFirstInfo + i), "");
    pictureShown = 0;
    if (kelPanelControl* c = control(kItemPicture)) c->setValue(int16_t{0}, static_cast<uint8_t*>(nullptr));
}

void BLLoadPanel::refreshInfo()
{
    clearInfo();
    infoValid = 0;
    if (page.count == 0) {
        setMessage(kItemFirstInfo, kMsgNoSongs);
        if (home) {
            // The hint is longer than one line: it takes the description's lines.
            const kelText hint = blIntl.message(kMsgNoSongsHome);
            char line[kBLDescWidth + 1];
            for (int16_t n = 0; n < kBLDescLines; ++n) {
                getSongDescChunk(hint.c_str(), n, line, sizeof line);
                setText(static_cast<int16_t>(kItemFirstInfo + 2 + n), line);
            }
        }
        return;
    }
    const char* folder = selectedFolder();
    if (!folder || !loadHeader(folder, *info_)) return;
    infoValid = 1;
    lookForLibraryImage(*info_);
    // Descriptions may be UTF-8; the skin font draws 8-bit text.
    const std::string description = KEL_NameToLatin1(info_->description);
    setText(kItemFirstInfo, KEL_NameToLatin1(BL_ShownTitle(info_->title)).c_str());
    setText(static_cast<int16_t>(kItemFirstInfo + 1),
            KEL_NameToLatin1(BL_TempoLine(info_->title, info_->libraryName, info_->bpm)).c_str());
    char line[kBLDescWidth + 1];
    for (int16_t n = 0; n < kBLDescLines; ++n) {
        getSongDescChunk(description.c_str(), n, line, sizeof line);
        setText(static_cast<int16_t>(kItemFirstInfo + 2 + n), line);
    }
}

void BLLoadPanel::showPictureFrom(const kelOffmap& source)
{
    if (!picture.pixels && !picture.allocate(kelDepth16, kPictureWidth, kPictureHeight, -1)) return;
    picture.fill(&picture.bounds, 0);
    // Centred; a larger picture shows its middle.
    const int16_t w = std::min<int16_t>(source.size.h, kPictureWidth);
    const int16_t h = std::min<int16_t>(source.size.v, kPictureHeight);
    const int16_t sx = static_cast<int16_t>((source.size.h - w) / 2),
                  sy = static_cast<int16_t>((source.size.v - h) / 2);
    const int16_t dx = static_cast<int16_t>((kPictureWidth - w) / 2),
                  dy = static_cast<int16_t>((kPictureHeight - h) / 2);
    const kelRect from(sx, sy, static_cast<int16_t>(sx + w), static_cast<int16_t>(sy + h));
    const kelRect to(dx, dy, static_cast<int16_t>(dx + w), static_cast<int16_t>(dy + h));
    picture.copy(&source, &from, &to);
    pictureShown = 1;
    if (kelPanelControl* c = control(kItemPicture))
        c->setValue(int16_t{0}, reinterpret_cast<uint8_t*>(&picture));
}

bool BLLoadPanel::pictureFromCast(int32_t castID)
{
    if (castID <= 0) return false;
    KelOneCast* cast = PWCasts.castAt(PWCasts.MPixIDtoIndex(castID));
    if (!cast) return false;
    if (!cast->imageLoaded) cast->LoadDepth(kelDepth16);
    if (!cast->imageLoaded || cast->image.depthIndex != kelDepth16 || !cast->image.pixels) return false;
    showPictureFrom(cast->image);
    return true;
}

bool BLLoadPanel::pictureFromFile(const char* path)
{
    kelOffmap decoded;
    if (!kelQt_imageToOffmap(path, &decoded) || decoded.depthIndex != kelDepth16 || !decoded.pixels)
        return false;
    showPictureFrom(decoded);
    return true;
}

int32_t BLLoadPanel::castNamed(const char* name) const
{
    if (!PWresfileobj.IsDataAvailable(kTypeText, kCastNames)) return 0;
    kelTextFile names;
    if (!names.loadResource(&PWresfileobj, kTypeText, kCastNames)) return 0;
    const long lines = names.itemsCount('\r');
    for (long i = 0; i < lines; ++i) {
        const kelText line = names.item(i, '\r');
        if (line.item(0, ',').isEqual(name)) return static_cast<int32_t>(line.item(1, ',').toLong());
    }
    return 0;
}

bool BLLoadPanel::lookForLibraryImage(const BLSongLibrary& song)
{
    const char* library = song.libraryName;
    if (library[0] && PWresfileobj.IsDataAvailable(kTypeText, kLibraryPictures)) {
        kelTextFile table;
        if (table.loadResource(&PWresfileobj, kTypeText, kLibraryPictures)) {
            const long lines = table.itemsCount('\r');
            for (long i = 0; i < lines; ++i) {
                const kelText line = table.item(i, '\r');
                if (BLSongLibrary::strcasecmp(line.item(0, ',').c_str(), library) == 0 &&
                    pictureFromCast(static_cast<int32_t>(line.item(1, ',').toLong())))
                    return true;
            }
        }
    }
    char path[kKelPathMax + 1];
    const char* folder = song.folderName;
    auto tryFile = [&](int n) { return n > 0 && n < static_cast<int>(sizeof path) && pictureFromFile(path); };
    if (plainName(library)) {
        if (tryFile(std::snprintf(path, sizeof path, "%s%s.gif", ":Library:Images:", library))) return true;
        if (tryFile(std::snprintf(path, sizeof path, "%s%s.gif", listFolder, library))) return true;
    }
    if (tryFile(std::snprintf(path, sizeof path, "%slibrary.gif", baseFolder))) return true;
    // The song folders' own folder is "Song:" on a case-sensitive file system.
    if (plainName(folder)) {
        if (plainName(library) &&
            tryFile(std::snprintf(path, sizeof path, "%sSong:%s:%s.gif", baseFolder, folder, library)))
            return true;
        if (tryFile(std::snprintf(path, sizeof path, "%sSong:%s:library.gif", baseFolder, folder)))
            return true;
    }
    char name[kBLTitleSize + 8];
    for (const char* format : {"Lim_%s", "Sim_%s"}) {
        std::snprintf(name, sizeof name, format, library);
        if (library[0] && pictureFromCast(castNamed(name))) return true;
    }
    return pictureFromCast(castNamed("Lim_unknown"));
}
