// The song browser: the songs of the home library or of a removable disk's
// library, a song's title, tempo, description and picture, its audition, and
// loading, deleting and copying songs.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/BLPath.h"
#include "core/kelFiles.h"
#include "core/kelOffmap.h"
#include "panels/browser/BLLoadRules.h"
#include "ui/PWPanel.h"

class BLSongLibrary;
struct BLSongPlan;
class kelDisksList;

class BLLoadPanel : public PWPanelClass {
public:
    // Controls of layout 6.
    enum : int16_t {
        kItemClose = 1,
        kItemSource = 3,
        kItemFirstLine = 4,  // the nine list lines
        kItemUp = 13,
        kItemDown = 14,
        kItemPicture = 15,
        kItemFirstInfo = 16,  // title, tempo line, four description lines
        kItemStatus = 22,
        kItemLoad = 23,
        kItemDelete = 24,
        kItemCopy = 25,
        kItemDisk = 26,
        kItemWeb = 27,
        kItemMute = 28,
        kItemNewSong = 29,
    };
    static constexpr int16_t kInfoLines = 6;
    // The picture well's size: larger pictures are cut, smaller ones centred.
    static constexpr int16_t kPictureWidth = 160;
    static constexpr int16_t kPictureHeight = 120;

    // Message lines.
    static constexpr int16_t kMsgDeleteQuestion = 19;
    static constexpr int16_t kMsgReplaceQuestion = 20;
    static constexpr int16_t kMsgCopying = 21;
    static constexpr int16_t kMsgCopyFailed = 565;  // why
    static constexpr int16_t kMsgWebAddress = 22;
    static constexpr int16_t kMsgNoSongs = 24;
    static constexpr int16_t kMsgNoSongsHome = 25;
    static constexpr int16_t kMsgReading = 36;
    static constexpr int16_t kMsgDeleteSong = 106;
    static constexpr int16_t kMsgDeleteWorkingSong = 107;
    static constexpr int16_t kMsgReplaceSong = 108;
    static constexpr int16_t kMsgReplaceWorkingSong = 109;
    static constexpr int16_t kMsgFoldersNotShown = 111;
    static constexpr int16_t kMsgFoldersBeyondList = 112;
    static constexpr int16_t kMsgDeleteIncomplete = 113;
    static constexpr int16_t kMsgNoDisk = 71;
    // Where the list comes from, as plain words: "Library: Home", "Disk: %s".
    static constexpr int16_t kMsgSourceHome = 357;
    static constexpr int16_t kMsgSourceDisk = 358;
    // A song made of the user's loops.
    static constexpr int16_t kMsgReadingLoops = 359;
    static constexpr int16_t kMsgMakingSong = 360;
    static constexpr int16_t kMsgNoSongMade = 363;
    static constexpr int16_t kMsgSongMade = 364;

    BLLoadPanel();
    ~BLLoadPanel() override;

    void onItem() override;
    void onKey() override;
    void onIdle() override;
    void connected() override;
    void beforeShow() override;
    void afterHide() override;

    // The list.
    void scanFolder();
    void moveSelection(int16_t delta);
    void refreshList();
    // The arrows, and the buttons that act on the selection.
    void refreshArrows();
    void scrollPage(int16_t step);
    // The selected song's information and picture.
    void refreshInfo();
    bool lookForLibraryImage(const BLSongLibrary& song);

    // Actions.
    void onItem_list(int16_t line);
    // A second click on the same song soon after the first.
    bool doubleClicked(int16_t line);
    void onItem_load();
    // Loads the song of this folder name, once the user's work may go.
    void loadChosen(const std::string& name);
    void onItem_disk();
    void onItem_web();
    // A song of the user's own loops (panels/browser/BLLoadMakeSong.cpp): the
    // button asks for a folder; files and folders dropped on the window come
    // straight to makeSongFrom, which shows what was found in the new-song
    // panel; its Create comes back to writeSong.
    void onItem_newSong();
    void asyncDialogMessage(BLPath* path) override;
    void makeSongFrom(const std::vector<std::string>& paths);
    void writeSong(const BLSongPlan& plan);
    void removeSong();
    void copyToHD();
    // Ends an audition: the preview, the light chase, and a song played in
    // the groove panel (the user's own song put back).
    void stopAudition();
    // Only the preview and the light chase.
    void stopPreview();

    // Where the list comes from.
    void setHome();
    // The disk's library; false when it has none (the source is unchanged).
    bool setDisk(const char* diskName, const char* label);
    const char* selectedFolder() const;
    bool selectionValid() const { return page.selection >= 0 && page.selection < page.count; }

    uint8_t home = 1;
    char sourceLabel[kKelNameMax + 16] = "";
    char diskName[kKelPathMax + 1] = {};
    // -1 at home; else the disks list's number of the disk shown.
    int16_t diskIndex = -1;
    char baseFolder[kKelPathMax + 1] = ":Library:";
    char listFolder[kKelPathMax + 1] = ":Library:Song:";

    BLLoadEntry entries[kBLLoadMaxEntries];
    BLLoadEntry homeCache[kBLLoadMaxEntries];
    int16_t homeCacheCount = 0;
    uint8_t homeCacheValid = 0;
    BLLoadPage page;
    uint8_t busy = 0;
    uint8_t muteAuditions = 0;
    int16_t lastClickEntry = -1;
    uint32_t lastClickTicks = 0;

    // An audition is running: a file played by the media service, or a song
    // the groove panel loaded and plays with a random groove.
    uint8_t auditionFile = 0;
    uint8_t auditionChase = 0;
    char auditionSong[kKelNameMax + 1] = {};

    char statusText[kKelNameMax + 1] = {};
    kelOffmap picture;
    uint8_t pictureShown = 0;
    // info_ holds the selected song's description.
    uint8_t infoValid = 0;

private:
    void setText(int16_t item, const char* text);
    void setStatus(const char* text);
    void setMessage(int16_t item, int16_t message);
    void clearInfo();
    void showPictureFrom(const kelOffmap& source);
    bool pictureFromCast(int32_t castID);
    bool pictureFromFile(const char* path);
    int32_t castNamed(const char* name) const;
    bool loadHeader(const char* folder, BLSongLibrary& song) const;
    bool deleteSongFolder(const char* folder);
    bool confirmSongGoes(const char* folder, int16_t message, int16_t messageWorking);
    // A message naming the folders of `names` not reported before.
    void reportFolders(const std::vector<std::string>& names, int16_t message);
    // Folders reported as not shown, so that each is reported once.
    std::set<std::string> reportedFolders;
    bool listFolderOfDisk(const char* disk, char* base, char* list) const;
    void sendLoadedSong(const char* folder);

    std::unique_ptr<BLSongLibrary> info_;
    BLPath newSongPath;
};
