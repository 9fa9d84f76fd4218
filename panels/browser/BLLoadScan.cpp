// The song browser's list: its source, scanning a library folder into the
// entry table, the nine lines and their arrows.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/BLInternational.h"
#include "core/kelQt.h"
#include "library/BLSongLibrary.h"
#include "net/BLNet.h"
#include "panels/browser/BLLoadLinks.h"
#include "panels/browser/BLLoadPanel.h"
#include "ui/kelPanelControl.h"

namespace {

// The selected line's ground: the accent, dimmed so the text stays readable.
constexpr int16_t kSelectedFill = 0x3D03;

bool folderExists(const char* folder)
{
    std::vector<KelFolderEntry> entries;
    return KEL_ListFolder(folder, entries);
}

}  // namespace

BLLoadPanel::BLLoadPanel() : info_(std::make_unique<BLSongLibrary>())
{
    info_->headerOnly = true;
    modal = 1;
}

BLLoadPanel::~BLLoadPanel()
{
    if (auditionFile) kelQt_PlaySoundStop();
}

void BLLoadPanel::connected()
{
    for (int16_t i = 0; i < kBLLoadListLines; ++i) {
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstLine + i))) {
            c->setValue(kelPropTextAlign, int16_t{0});
            c->setValue(kelPropFit, int16_t{1});
            c->setValue(kelPropFillColour, kSelectedFill);
        }
    }
    // The source sits at the right of the title strip, beside the close button.
    for (int16_t item : {kItemSource, kItemStatus})
        if (kelPanelControl* c = control(item)) {
            c->setValue(kelPropTextAlign, static_cast<int16_t>(item == kItemSource ? 2 : 0));
            c->setValue(kelPropFit, int16_t{1});
        }
    for (int16_t i = 0; i < kInfoLines; ++i)
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstInfo + i))) {
            c->setValue(kelPropTextAlign, int16_t{0});
            c->setValue(kelPropFit, int16_t{1});
        }
    if (kelPanelControl* c = control(kItemMute)) c->setValue(static_cast<int16_t>(muteAuditions ? 1 : 0));
}

void BLLoadPanel::beforeShow()
{
    // The linked program stops too while this one browses.
    if (blLoadHost) blLoadHost->net().sendStop();
    if (!sourceLabel[0])
        std::snprintf(sourceLabel, sizeof sourceLabel, "%s", blIntl.message(kMsgSourceHome).c_str());
    setText(kItemSource, sourceLabel);
    scanFolder();
}

void BLLoadPanel::afterHide()
{
    stopAudition();
}

void BLLoadPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) {
        char copy[kKelNameMax + 16];
        std::snprintf(copy, sizeof copy, "%s", text ? text : "");
        c->setValue(copy);
    }
}

void BLLoadPanel::setStatus(const char* text)
{
    std::snprintf(statusText, sizeof statusText, "%s", text ? text : "");
    setText(kItemStatus, statusText);
}

void BLLoadPanel::setMessage(int16_t item, int16_t message)
{
    setText(item, blIntl.message(message).c_str());
}

void BLLoadPanel::setHome()
{
    home = 1;
    diskIndex = -1;
    diskName[0] = '\0';
    std::snprintf(baseFolder, sizeof baseFolder, ":Library:");
    std::snprintf(listFolder, sizeof listFolder, ":Library:Song:");
    std::snprintf(sourceLabel, sizeof sourceLabel, "%s", blIntl.message(kMsgSourceHome).c_str());
    setText(kItemSource, sourceLabel);
}

bool BLLoadPanel::listFolderOfDisk(const char* disk, char* base, char* list) const
{
    char candidate[kKelPathMax + 1];
    std::snprintf(base, kKelPathMax + 1, "%s:Library:", disk);
    for (const char* sub : {"Song:Song44:", "Song:"}) {
        std::snprintf(candidate, sizeof candidate, "%s%s", base, sub);
        if (folderExists(candidate)) {
            std::snprintf(list, kKelPathMax + 1, "%s", candidate);
            return true;
        }
    }
    std::snprintf(candidate, sizeof candidate, "%s:Song:Song44:", disk);
    if (!folderExists(candidate)) return false;
    std::snprintf(list, kKelPathMax + 1, "%s", candidate);
    return true;
}

bool BLLoadPanel::setDisk(const char* disk, const char* label)
{
    char base[kKelPathMax + 1], list[kKelPathMax + 1];
    if (!listFolderOfDisk(disk, base, list)) return false;
    home = 0;
    std::snprintf(diskName, sizeof diskName, "%s", disk);
    std::snprintf(baseFolder, sizeof baseFolder, "%s", base);
    std::snprintf(listFolder, sizeof listFolder, "%s", list);
    const kelText words = blIntl.message(kMsgSourceDisk);
    const std::string said = words.c_str();
    const size_t at = said.find("%s");
    const std::string name = label && label[0] ? label : disk;
    std::snprintf(
        sourceLabel, sizeof sourceLabel, "%s",
        (at == std::string::npos ? said + " " + name : said.substr(0, at) + name + said.substr(at + 2))
            .c_str());
    setText(kItemSource, sourceLabel);
    return true;
}

bool BLLoadPanel::loadHeader(const char* folder, BLSongLibrary& song) const
{
    char path[kKelPathMax + 1];
    const int n = std::snprintf(path, sizeof path, "%s%s:", listFolder, folder);
    if (n <= 0 || n >= static_cast<int>(sizeof path)) return false;
    song.headerOnly = true;
    return song.load(path);
}

void BLLoadPanel::scanFolder()
{
    stopAudition();
    busy = 1;
    page = BLLoadPage{};
    refreshList();
    setMessage(kItemStatus, kMsgReading);

    if (home && homeCacheValid) {
        std::memcpy(entries, homeCache, sizeof entries);
        page.count = homeCacheCount;
    } else {
        std::vector<KelFolderEntry> found, leftOut;
        KEL_ListFolder(listFolder, found, &leftOut);
        int16_t count = 0;
        // A name with the path separator, or too long, cannot be addressed as one folder.
        std::vector<std::string> unnamed, beyond;
        for (const KelFolderEntry& e : leftOut)
            if (e.folder) unnamed.push_back(e.name);
        for (const KelFolderEntry& e : found) {
            if (!e.folder || e.name[0] == '.') continue;
            if (count >= kBLLoadMaxEntries) {
                beyond.push_back(e.name);
                continue;
            }
            entries[count] = BLLoadEntry{};
            std::snprintf(entries[count].folder, sizeof entries[count].folder, "%s", e.name.c_str());
            ++count;
        }
        bool anyLoaded = false;
        for (int16_t i = 0; i < count; ++i) {
            char progress[64];
            std::snprintf(progress, sizeof progress, "Loading folder... %d%%", i * 100 / count);
            setStatus(progress);
            BLLoadEntry& entry = entries[i];
            // A song without a tempo it can be played at cannot be loaded either.
            if (loadHeader(entry.folder, *info_) && info_->tempoUsable()) {
                BL_LoadDisplayName(info_->title, entry.folder, entry.name, sizeof entry.name);
                entry.loadable = 1;
                anyLoaded = true;
            } else {
                BL_LoadErrorName(entry.folder, entry.name, sizeof entry.name);
                entry.loadable = 0;
            }
        }
        if (!anyLoaded) count = 0;
        setStatus("Sorting folder...");
        BL_SortEntries(entries, count);
        page.count = count;
        if (home) {
            std::memcpy(homeCache, entries, sizeof homeCache);
            homeCacheCount = count;
            homeCacheValid = 1;
        }
        reportFolders(unnamed, kMsgFoldersNotShown);
        reportFolders(beyond, kMsgFoldersBeyondList);
    }

    setStatus("");
    page.offset = 0;
    page.selection = 0;
    busy = 0;
    refreshList();
    refreshInfo();
}

void BLLoadPanel::reportFolders(const std::vector<std::string>& names, int16_t message)
{
    // Each folder is told of once, the first few by name.
    constexpr size_t kNamed = 8;
    std::string list;
    size_t fresh = 0;
    for (const std::string& name : names) {
        if (!reportedFolders.insert(name).second) continue;
        if (fresh++ < kNamed) list += (list.empty() ? "" : ", ") + name;
    }
    if (fresh == 0) return;
    if (fresh > kNamed) list += ", ...";
    BL_NotifyNames(message, 0, {list});
}

void BLLoadPanel::refreshList()
{
    for (int16_t line = 0; line < kBLLoadListLines; ++line) {
        kelPanelControl* c = control(static_cast<int16_t>(kItemFirstLine + line));
        if (!c) continue;
        const int16_t entry = page.entryOnLine(line);
        char text[kKelNameMax + 20] = "";
        if (entry >= 0) std::snprintf(text, sizeof text, " %s", entries[entry].name);
        c->setValue(kelPropFill, static_cast<int16_t>(entry >= 0 && entry == page.selection ? 1 : 0));
        c->setValue(text);
    }
    refreshArrows();
}

void BLLoadPanel::refreshArrows()
{
    // Buttons that cannot act on the selection here look it.
    const bool loadable = selectionValid() && entries[page.selection].loadable;
    const std::pair<int16_t, bool> buttons[] = {{kItemLoad, home && loadable},
                                                {kItemDelete, home && selectionValid()},
                                                {kItemCopy, !home && loadable}};
    for (const auto& [item, on] : buttons)
        if (kelPanelControl* c = control(item)) {
            if (on)
                c->enable();
            else
                c->disable();
        }
    if (kelPanelControl* up = control(kItemUp)) {
        if (page.upEnabled())
            up->enable();
        else
            up->disable();
    }
    if (kelPanelControl* down = control(kItemDown)) {
        if (page.downEnabled())
            down->enable();
        else
            down->disable();
    }
}

void BLLoadPanel::moveSelection(int16_t delta)
{
    page.moveSelection(delta);
    refreshList();
    refreshInfo();
}

void BLLoadPanel::scrollPage(int16_t step)
{
    if (step < 0 && !page.upEnabled()) return;
    if (step > 0 && !page.downEnabled()) return;
    page.offset = static_cast<int16_t>(page.offset + step);
    refreshList();
}

const char* BLLoadPanel::selectedFolder() const
{
    return selectionValid() ? entries[page.selection].folder : nullptr;
}
