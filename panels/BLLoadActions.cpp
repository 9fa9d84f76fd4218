// What the song browser's controls do: auditions, loading a song into the
// groove panel, deleting a song, copying one from a disk, the disk and web
// buttons.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "core/BLInternational.h"
#include "core/kelDisksList.h"
#include "core/kelQt.h"
#include "library/BLGroove.h"
#include "library/BLSongLibrary.h"
#include "net/BLNet.h"
#include "panels/BLLoadLinks.h"
#include "panels/BLLoadPanel.h"
#include "panels/BLPlayer.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kAnswerYes = 1;
constexpr int16_t kYesNo = 1;

bool folderExists(const char* folder)
{
    std::vector<KelFolderEntry> entries;
    return KEL_ListFolder(folder, entries);
}

std::string homeSongFolder(const char* folder) { return std::string(":Library:Song:") + folder + ":"; }

// Every plain file of a folder, then the folder; true when the folder is gone.
bool deleteFolderFiles(const std::string& folder)
{
    std::vector<KelFolderEntry> entries;
    if (!KEL_ListFolder(folder.c_str(), entries)) return true;
    for (const KelFolderEntry& e : entries)
        if (!e.folder) KEL_FileDelete((folder + e.name).c_str());
    return KEL_FileDelete(folder.c_str());
}

}  // namespace

void BLLoadPanel::onItem()
{
    if (liveChange) return;
    const int16_t item = hitItem;
    if (item >= kItemFirstLine && item < kItemFirstLine + kBLLoadListLines) {
        const int16_t line = static_cast<int16_t>(item - kItemFirstLine);
        if (doubleClicked(line))
            onItem_load();
        else
            onItem_list(line);
        return;
    }
    switch (item) {
        case kItemClose: PWScreen.hide(screenIndex); break;
        case kItemUp: scrollPage(-1); break;
        case kItemDown: scrollPage(1); break;
        case kItemLoad: onItem_load(); break;
        case kItemDelete: removeSong(); break;
        case kItemCopy: copyToHD(); break;
        case kItemDisk: onItem_disk(); break;
        case kItemWeb: onItem_web(); break;
        case kItemMute:
            if (kelPanelControl* c = control(kItemMute)) muteAuditions = c->get() ? 1 : 0;
            if (muteAuditions) stopAudition();
            break;
        default: break;
    }
}

void BLLoadPanel::onIdle()
{
    if (auditionFile) kelQt_Idle();
}

void BLLoadPanel::stopAudition()
{
    if (auditionFile) kelQt_PlaySoundStop();
    auditionFile = 0;
    if (auditionChase && blLoadHost) blLoadHost->lightGame_End();
    auditionChase = 0;
    // A song the groove panel plays as an audition stops with it.
    if (auditionSong[0] && blPlayer && blPlayer->playing) blPlayer->stop();
    auditionSong[0] = '\0';
}

void BLLoadPanel::onItem_list(int16_t line)
{
    stopAudition();
    const int16_t entry = page.entryOnLine(line);
    if (entry < 0) return;
    page.selection = entry;
    refreshList();
    refreshInfo();
    if (muteAuditions) return;

    const BLLoadEntry& song = entries[entry];
    char path[kKelPathMax + 1];
    bool playing = false;
    for (const char* file : {"preview.swa", "preview.wav"}) {
        const int n = std::snprintf(path, sizeof path, "%s%s:%s", listFolder, song.folder, file);
        if (n > 0 && n < static_cast<int>(sizeof path) && kelQt_PlaySoundStart(path)) {
            playing = true;
            break;
        }
    }
    if (playing) {
        auditionFile = 1;
        // The chase needs the song's tempo; a description without one gets none.
        if (song.loadable && infoValid && info_->bpm > 0 && blLoadHost) {
            const int16_t period = static_cast<int16_t>(std::max(1, (3600 / info_->bpm) / 4));
            blLoadHost->lightGame_Start(period);
            auditionChase = 1;
        }
        return;
    }
    if (!home || !song.loadable || !blLoadHost) return;
    if (blPlayer && blPlayer->playing) blPlayer->stop();
    if (!blLoadHost->loadSong(homeSongFolder(song.folder).c_str())) return;
    blLoadHost->randomize(0);
    if (blPlayer && !blPlayer->playing) blPlayer->play();
    std::snprintf(auditionSong, sizeof auditionSong, "%s", song.folder);
}

void BLLoadPanel::sendLoadedSong(const char* folder)
{
    if (blLoadHost) blLoadHost->net().sendSongLoaded(folder, blLoadHost->currentGroove());
}

void BLLoadPanel::onItem_load()
{
    if (!home || page.count == 0 || !selectionValid() || !entries[page.selection].loadable) return;
    const BLLoadEntry& song = entries[page.selection];
    if (auditionFile) kelQt_PlaySoundStop();
    auditionFile = 0;
    if (auditionChase && blLoadHost) blLoadHost->lightGame_End();
    auditionChase = 0;
    // Only when the audition is this very song does the player go on with it;
    // anything else playing is stopped before the selected song is loaded.
    const bool auditioned = std::strcmp(auditionSong, song.folder) == 0 && blPlayer && blPlayer->playing;
    auditionSong[0] = '\0';
    if (!auditioned) {
        if (!blLoadHost) return;
        if (blPlayer && blPlayer->playing) blPlayer->stop();
        if (!blLoadHost->loadSong(homeSongFolder(song.folder).c_str())) return;
        // A song opened from here starts with a random groove of its first set.
        blLoadHost->randomize(0);
        PWScreen.hide(screenIndex);
        if (blPlayer) blPlayer->play();
    } else {
        PWScreen.hide(screenIndex);
    }
    sendLoadedSong(song.folder);
}

bool BLLoadPanel::deleteSongFolder(const char* folder)
{
    const std::string song = homeSongFolder(folder);
    deleteFolderFiles(song + "User:");
    return deleteFolderFiles(song);
}

void BLLoadPanel::removeSong()
{
    if (!home || !selectionValid()) return;
    if (BL_Notify(kMsgDeleteQuestion, kYesNo) != kAnswerYes) return;
    stopAudition();
    deleteSongFolder(entries[page.selection].folder);
    homeCacheValid = 0;
    setHome();
    scanFolder();
}

void BLLoadPanel::copyToHD()
{
    if (home || !selectionValid() || !entries[page.selection].loadable) return;
    const BLLoadEntry song = entries[page.selection];
    const std::string target = homeSongFolder(song.folder);
    if (folderExists(target.c_str())) {
        if (BL_Notify(kMsgReplaceQuestion, kYesNo) != kAnswerYes) return;
        stopAudition();
        deleteSongFolder(song.folder);
    }
    KEL_CreateDirectory(target.c_str());

    const std::string source = std::string(listFolder) + song.folder + ":";
    std::vector<KelFolderEntry> files;
    bool complete = KEL_ListFolder(source.c_str(), files);
    const kelText copying = blIntl.message(kMsgCopying);
    for (const KelFolderEntry& f : files) {
        if (f.folder) continue;
        setStatus(BL_FormatName(copying.c_str(), f.name.c_str()).c_str());
        const std::string from = source + f.name, to = target + f.name;
        if (gep && gep->copyAudioFile(from.c_str(), to.c_str()) != 0) continue;
        if (!KEL_FileCopy(from.c_str(), to.c_str())) complete = false;
    }

    const std::string description = std::string(baseFolder) + "BLS:BLS44:" + song.folder + ".bls";
    if (KEL_FileExists(description.c_str()) &&
        !KEL_FileCopy(description.c_str(), (std::string(":Library:Bls:") + song.folder + ".bls").c_str()))
        complete = false;
    BLSongLibrary& header = *info_;
    infoValid = 0;
    if (loadHeader(song.folder, header) && header.libraryName[0] && !std::strchr(header.libraryName, ':')) {
        const std::string picture = std::string(header.libraryName) + ".gif";
        const std::string from = std::string(baseFolder) + "Images:" + picture;
        if (KEL_FileExists(from.c_str()) && !KEL_FileCopy(from.c_str(), (":Library:Images:" + picture).c_str()))
            complete = false;
    }
    homeCacheValid = 0;
    setStatus(complete ? "Copy completed" : "Copy failed");
}

void BLLoadPanel::onItem_disk()
{
    stopAudition();
    const bool wasHome = home != 0;
    kelDisksList disks;
    disks.start();
    char name[kKelNameMax + 1];
    for (int16_t i = 0; disks.next(name); ++i) {
        if (i <= diskIndex) continue;
        char label[kKelNameMax + 1] = "";
        disks.getExtended(label);
        if (setDisk(name, label)) {
            diskIndex = i;
            scanFolder();
            return;
        }
    }
    setHome();
    scanFolder();
    // Pressed at home and no disk holds a library: say so, rather than
    // show the same list again as if nothing happened.
    if (wasHome) BL_Notify(kMsgNoDisk, 0);
}

void BLLoadPanel::onItem_web()
{
    // The program's own guide, beside it in the program folder.
    std::error_code ec;
    const std::filesystem::path guide = std::filesystem::absolute(kGuideFile, ec);
    if (ec || !std::filesystem::is_regular_file(guide, ec)) {
        BL_Notify(kMsgNoGuide, 0);
        return;
    }
    if (!plat::hasBackend() || !plat::backend().openAddress("file://" + guide.string()))
        BL_Notify(kMsgNoBrowser, 0);
}
