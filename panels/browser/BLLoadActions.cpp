// What the song browser's controls do: auditions, loading a song into the
// groove panel, deleting a song, copying one from a disk, the disk and web
// buttons.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/BLWriteReason.h"
#include "core/kelDisksList.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLGroove.h"
#include "library/BLSongLibrary.h"
#include "net/BLNet.h"
#include "panels/browser/BLLoadLinks.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/help/BLGuide.h"
#include "platform/PlatFiles.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

// The browser keeps the hook it asks through, so it needs nothing of the
// groove panel's library.
BLLoadHost* blLoadHost = nullptr;

namespace {

constexpr int16_t kAnswerYes = 1;
constexpr int16_t kYesNo = 1;

bool folderExists(const char* folder)
{
    std::vector<KelFolderEntry> entries;
    return KEL_ListFolder(folder, entries);
}

std::string homeSongFolder(const char* folder)
{
    return std::string(":Library:Song:") + folder + ":";
}

// Every plain file of a folder, then the folder; true when the folder is gone.
// A folder that is a link is only unlinked: what it points to lies outside
// the library. Links among the files are removed themselves, never followed.
bool deleteFolderFiles(const std::string& folder)
{
    if (KEL_FileIsLink(folder.c_str())) return KEL_FileDelete(folder.c_str());
    std::vector<KelFolderEntry> entries;
    if (!KEL_ListFolder(folder.c_str(), entries)) return !KEL_FileExists(folder.c_str());
    for (const KelFolderEntry& e : entries)
        if (!e.folder || KEL_FileIsLink((folder + e.name).c_str())) KEL_FileDelete((folder + e.name).c_str());
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
    // Two clicks with another control between them are no double click (a
    // delete between them puts another song on the line).
    lastClickEntry = -1;
    switch (item) {
        case kItemClose: PWScreen.hide(screenIndex); break;
        case kItemUp: scrollPage(-1); break;
        case kItemDown: scrollPage(1); break;
        case kItemLoad: onItem_load(); break;
        case kItemDelete: removeSong(); break;
        case kItemCopy: copyToHD(); break;
        case kItemDisk: onItem_disk(); break;
        case kItemWeb: onItem_web(); break;
        case kItemNewSong: onItem_newSong(); break;
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

void BLLoadPanel::stopPreview()
{
    if (auditionFile) kelQt_PlaySoundStop();
    auditionFile = 0;
    if (auditionChase && blLoadHost) blLoadHost->lightGame_End();
    auditionChase = 0;
}

void BLLoadPanel::stopAudition()
{
    stopPreview();
    // A song the groove panel plays as an audition stops with it, and the
    // song the user works on comes back.
    if (auditionSong[0]) {
        if (blPlayer && blPlayer->playing) blPlayer->stop();
        if (blLoadHost) blLoadHost->auditionEnd();
    }
    auditionSong[0] = '\0';
}

void BLLoadPanel::onItem_list(int16_t line)
{
    // A song audition goes on until the next one starts (or none does):
    // the user's song is put back once, not between every two auditions.
    stopPreview();
    const int16_t entry = page.entryOnLine(line);
    if (entry < 0) {
        stopAudition();
        return;
    }
    page.selection = entry;
    refreshList();
    refreshInfo();
    if (muteAuditions) {
        stopAudition();
        return;
    }

    const BLLoadEntry& song = entries[entry];
    char path[kKelPathMax + 1];
    bool there = false;  // a preview file is there
    auto startPreview = [&] {
        for (const char* file : {"preview.swa", "preview.wav"}) {
            const int n = std::snprintf(path, sizeof path, "%s%s:%s", listFolder, song.folder, file);
            if (n <= 0 || n >= static_cast<int>(sizeof path)) continue;
            there = there || KEL_FileExists(path);
            if (kelQt_PlaySoundStart(path)) return true;
        }
        return false;
    };
    bool playing = startPreview();
    if (!playing && there && auditionSong[0]) {
        // A groove audition may hold the only sound device there is (the
        // music plays over silent tracks too): the user's song back, then again.
        stopAudition();
        playing = startPreview();
    }
    if (playing) {
        if (auditionSong[0]) {
            // The preview's device is taken: put the user's song back first.
            kelQt_PlaySoundStop();
            stopAudition();
            kelQt_PlaySoundStart(path);
        }
        auditionFile = 1;
        // The chase needs the song's tempo; a description without one gets none.
        if (song.loadable && infoValid && info_->bpm > 0 && blLoadHost) {
            const int16_t period = static_cast<int16_t>(std::max(1, (3600 / info_->bpm) / 4));
            blLoadHost->lightGame_Start(period);
            auditionChase = 1;
        }
        return;
    }
    if (!home || !song.loadable || !blLoadHost) {
        stopAudition();
        return;
    }
    // The song is played with a random groove; the song the user works on,
    // its grooves and its sequence are kept aside and come back after.
    if (!blLoadHost->auditionSong(homeSongFolder(song.folder).c_str())) {
        auditionSong[0] = '\0';
        return;
    }
    if (blPlayer && !blPlayer->playing) blPlayer->play();
    std::snprintf(auditionSong, sizeof auditionSong, "%s", song.folder);
}

void BLLoadPanel::sendLoadedSong(const char* folder)
{
    if (blLoadHost) blLoadHost->net().sendSongLoaded(folder, blLoadHost->currentGroove());
}

// The browser's own Load button (a song), not the document's Load.
void BLLoadPanel::onItem_load()  // NOLINT(bugprone-virtual-near-miss)
{
    if (!home || page.count == 0 || !selectionValid() || !entries[page.selection].loadable) return;
    const BLLoadEntry& song = entries[page.selection];
    const std::string folder = homeSongFolder(song.folder);
    const std::string name = song.folder;
    stopPreview();
    // The user's work is not left behind without asking.
    const std::string title = infoValid && info_->title[0] ? BL_ShownTitle(info_->title) : name;
    if (blLoadHost)
        blLoadHost->guardSong(folder.c_str(), title, [this, name] { loadChosen(name); });
    else
        loadChosen(name);
}

void BLLoadPanel::loadChosen(const std::string& name)
{
    // Only when the audition is this very song does the player go on with it;
    // anything else playing is stopped before the selected song is loaded.
    const bool auditioned = name == auditionSong && blPlayer && blPlayer->playing;
    if (auditioned) {
        blLoadHost->auditionKeep();
        auditionSong[0] = '\0';
    } else {
        stopAudition();
    }
    if (!auditioned) {
        if (!blLoadHost) return;
        if (blPlayer && blPlayer->playing) blPlayer->stop();
        if (!blLoadHost->loadSong(homeSongFolder(name.c_str()).c_str())) return;
        // A song opened from here starts with a random groove of its first set.
        blLoadHost->randomize(0);
        PWScreen.hide(screenIndex);
        if (blPlayer) blPlayer->play();
    } else {
        PWScreen.hide(screenIndex);
    }
    blLoadHost->songTaken();
    sendLoadedSong(name.c_str());
}

bool BLLoadPanel::deleteSongFolder(const char* folder)
{
    const std::string song = homeSongFolder(folder);
    // The song that is open stops and is closed first, and the engine lets
    // go of every loop file, so nothing plays on from deleted files.
    if (blLoadHost && blLoadHost->isUserSong(song.c_str())) {
        blLoadHost->closeSong();
        if (gep) {
            gep->exit();
            gep->init();
        }
    }
    if (KEL_FileIsLink(song.c_str())) return KEL_FileDelete(song.c_str());
    deleteFolderFiles(song + "User:");
    return deleteFolderFiles(song);
}

// The question before a song is deleted or replaced: it names the song, and
// says when it is the one the user works on.
bool BLLoadPanel::confirmSongGoes(const char* folder, int16_t message, int16_t messageWorking)
{
    const bool working = blLoadHost && blLoadHost->isUserSong(homeSongFolder(folder).c_str());
    return BL_NotifyNames(working ? messageWorking : message, kYesNo, {folder}) == kAnswerYes;
}

void BLLoadPanel::removeSong()
{
    if (!home || !selectionValid()) return;
    const std::string folder = entries[page.selection].folder;
    if (!confirmSongGoes(folder.c_str(), kMsgDeleteSong, kMsgDeleteWorkingSong)) return;
    stopAudition();
    if (!deleteSongFolder(folder.c_str())) BL_NotifyNames(kMsgDeleteIncomplete, 0, {folder});
    homeCacheValid = 0;
    setHome();
    scanFolder();
}

void BLLoadPanel::copyToHD()
{
    if (home || !selectionValid() || !entries[page.selection].loadable) return;
    const BLLoadEntry song = entries[page.selection];
    const std::string target = homeSongFolder(song.folder);
    if (folderExists(target.c_str()) || KEL_FileIsLink(target.c_str())) {
        if (!confirmSongGoes(song.folder, kMsgReplaceSong, kMsgReplaceWorkingSong)) return;
        stopAudition();
        if (!deleteSongFolder(song.folder)) {
            BL_NotifyNames(kMsgDeleteIncomplete, 0, {song.folder});
            return;
        }
    }
    plat::clearWriteError();
    int error = 0;  // why the first copy that failed did
    auto failed = [&] {
        if (!error) error = plat::lastWriteError() ? plat::lastWriteError() : EIO;
    };
    if (!KEL_CreateDirectory(target.c_str()) && !folderExists(target.c_str())) failed();

    const std::string source = std::string(listFolder) + song.folder + ":";
    std::vector<KelFolderEntry> files;
    bool complete = KEL_ListFolder(source.c_str(), files);
    const kelText copying = blIntl.message(kMsgCopying);
    for (const KelFolderEntry& f : files) {
        if (f.folder) continue;
        setStatus(BL_FormatName(copying.c_str(), KEL_NameToLatin1(f.name).c_str()).c_str());
        const std::string from = source + f.name, to = target + f.name;
        if (gep && gep->copyAudioFile(from.c_str(), to.c_str()) != 0) continue;
        if (!KEL_FileCopy(from.c_str(), to.c_str())) {
            complete = false;
            failed();
        }
    }

    const std::string description = std::string(baseFolder) + "BLS:BLS44:" + song.folder + ".bls";
    if (KEL_FileExists(description.c_str()) &&
        !KEL_FileCopy(description.c_str(), (std::string(":Library:Bls:") + song.folder + ".bls").c_str())) {
        complete = false;
        failed();
    }
    BLSongLibrary& header = *info_;
    infoValid = 0;
    if (loadHeader(song.folder, header) && header.libraryName[0] && !std::strchr(header.libraryName, ':')) {
        const std::string picture = std::string(header.libraryName) + ".gif";
        const std::string from = std::string(baseFolder) + "Images:" + picture;
        if (KEL_FileExists(from.c_str()) &&
            !KEL_FileCopy(from.c_str(), (":Library:Images:" + picture).c_str())) {
            complete = false;
            failed();
        }
    }
    homeCacheValid = 0;
    if (complete) {
        setStatus("Copy completed");
        return;
    }
    // What failed, and why: a folder that could not be listed reads no error.
    const std::string why = error ? BL_WriteReasonText(error) : BL_WriteReasonText(EIO);
    setStatus(KEL_NameToLatin1(blIntl.messageWithNames(kMsgCopyFailed, {why})).c_str());
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
    BL_OpenGuide();
}
