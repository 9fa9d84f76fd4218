// The groove panel's disk mix: the Disk mix button, the save dialog for the
// file (or the stems folder) and the mix itself behind the progress panel.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/QualMix.h"
#include "core/BLInternational.h"
#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/player/BLDiskMix.h"
#include "panels/progress/BLProgressFeedback.h"
#include "panels/progress/BLProgressPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatChild.h"
#include "platform/PlatFiles.h"
#include "platform/Platform.h"

namespace {

constexpr int16_t kRequestDiskMix = 3;
constexpr int16_t kMsgCancel = 76;
constexpr int16_t kMsgMixWhich = 596;  // the last take's name
constexpr int16_t kMsgMixSequence = 597;
constexpr int16_t kMsgMixTake = 598;
constexpr int16_t kMsgTakeNotMixed = 605;  // why
// KEL_UserChoose's answers.
constexpr int16_t kChooseFirst = 1;
constexpr int16_t kChooseSecond = 2;

std::string extensionOf(uint32_t format)
{
    char name[16] = "x";
    kelQt_soundConvert_setFileExtension(name, format, sizeof name);
    return name + 1;  // ".wav"
}

}  // namespace

void BLGroovePanel::onItem_diskMix()
{
    const std::vector<BLTake>& takes = groove.takes();
    if (takes.empty() || BLPath::dialogPending()) return diskMixOf(-1);
    // The takes' menu mixes any take; the button offers the last one.
    const std::string text = blIntl.messageWithNames(kMsgMixWhich, {BLTake_Shown(takes.back().name)});
    const kelText sequence = blIntl.message(kMsgMixSequence), take = blIntl.message(kMsgMixTake),
                  cancel = blIntl.message(kMsgCancel);
    const int16_t answer = KEL_UserChooseUtf8(text, sequence.c_str(), take.c_str(), cancel.c_str());
    if (answer == kChooseFirst) diskMixOf(-1);
    if (answer == kChooseSecond) diskMixOf(static_cast<int16_t>(takes.size() - 1));
}

void BLGroovePanel::diskMixOf(int16_t take)
{
    diskMixTake = take >= 0 && take < static_cast<int16_t>(groove.takes().size()) ? take : -1;
    if (diskMixTake < 0 && groove.model.stored.length <= 0) {
        BL_Notify(kBLMsgSequenceEmpty, 0);
        return;
    }
    if (BLPath::dialogPending()) return;
    // "Choose another folder" comes back here with the music stopped already.
    if (player().playing) {
        diskMixWasPlaying = true;
        diskMixWasSequence = player().sequenceMode;
    }
    player().stop();
    const uint32_t format = blPrefs.exportFormat;
    // A take is one file whatever the target: it is mixed as it was heard.
    if (blPrefs.mixTarget == 1 && diskMixTake < 0) {
        diskMixPath.set(diskMixFolder[0] ? diskMixFolder : "Mix files folder");
        diskMixPath.userDialogTypes(0, 0, 0, 0, "*.*");
    } else {
        KEL_FileSetDocTypeCreator(kelFourCC("blDc"), kelFourCC("ovBl"));
        const std::string extension = extensionOf(format);
        diskMixPath.set(diskMixFile[0] ? diskMixFile : "Mix file");
        diskMixPath.setExtension(extension.c_str());
        diskMixPath.userDialogTypes(0, 0, 0, 0, ("*" + extension).c_str());
    }
    diskMixPath.asyncDialogPut(kPWGroovePanel, kRequestDiskMix, 0);
}

void BLGroovePanel::diskMixResult(BLPath* path)
{
    if (!path || !path->dialogOk) {
        diskMixResume();
        return;
    }
    player().stop();
    BLDiskMixJob job;
    job.library = &groove.model.library();
    job.sequence = &groove.model.stored;
    job.tempo = player().bpm;
    job.target = blPrefs.mixTarget == 1 && diskMixTake < 0 ? 1 : 0;
    job.format = blPrefs.exportFormat;
    job.settings = &blPrefs.exportSettings;
    job.normalize = blPrefs.normalize != 0;
    job.quality = blPrefs.resampleQuality;
    job.keyLock = blPrefs.keyLock != 0;
    job.path = path->path;
    if (job.target == 1) {
        // A name the dialog gave an extension to is still the folder's name.
        std::snprintf(diskMixFolder, sizeof diskMixFolder, "%s", path->path);
    } else {
        std::snprintf(diskMixFile, sizeof diskMixFile, "%s", path->path);
    }
    if (diskMixTake >= 0 && diskMixTake < static_cast<int16_t>(groove.takes().size())) {
        diskMixTakeRun(diskMixTake, job.path);
        diskMixResume();
        return;
    }
    if (job.target == 1) {
        // Only the groups' files are written; those already there are
        // replaced only when the person says so.
        const std::vector<std::string> there = BLDiskMix_InTheWay(job);
        if (!there.empty()) {
            std::string names;
            for (const std::string& kel : there) {
                char name[kKelNameMax + 1];
                KEL_FileNameFromPath(kel.c_str(), name, sizeof name);
                names += (names.empty() ? "" : ", ") + std::string(name);
            }
            const std::string text = blIntl.messageWithNames(kBLMsgStemsExist, {names});
            const kelText overwrite = blIntl.message(kBLMsgOverwrite),
                          another = blIntl.message(kBLMsgChooseFolder), cancel = blIntl.message(kMsgCancel);
            const int16_t answer =
                KEL_UserChooseUtf8(text, overwrite.c_str(), another.c_str(), cancel.c_str());
            if (answer == kChooseSecond) {
                onItem_diskMix();
                return;
            }
            if (answer != kChooseFirst) {
                diskMixResume();
                return;
            }
            job.overwrite = true;
        }
    }
    BLProgressFeedback feedback;
    BLEngine offline;  // the mixdown needs no running engine
    const BLDiskMixOutcome outcome = BLDiskMix_Run(job, gep ? *gep : offline, feedback);
    feedback.tell();
    if (!outcome.failed && !outcome.stopped && !outcome.files.empty())
        diskMixWritten(outcome.files, outcome.frames);
    // The mix ran the sequence from its start: the place the play bar showed
    // is no longer anywhere; the next Play starts from the top.
    if (!diskMixWasPlaying) common_doInterfaceReset();
    diskMixResume();
}

void BLGroovePanel::diskMixWritten(const std::vector<std::string>& files, int64_t frames)
{
    const int64_t seconds = (frames + MIXFREQ / 2) / MIXFREQ;
    char length[32];
    std::snprintf(length, sizeof length, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    char system[kKelSystemPathMax + 1] = {};
    if (!KEL_KelPathToSystemPath(files.front().c_str(), system)) return;
    const std::filesystem::path folder = std::filesystem::path(system).parent_path();
    std::string text;
    if (files.size() == 1) {
        char name[kKelNameMax + 1];
        KEL_FileNameFromPath(files.front().c_str(), name, sizeof name);
        text = blIntl.messageWithNames(kBLMsgWritten, {name, length});
    } else {
        text = blIntl.messageWithNames(kBLMsgWrittenStems,
                                       {std::to_string(files.size()), folder.filename().string(), length});
    }
    const kelText open = blIntl.message(kBLMsgOpenFolder), ok = blIntl.message(kBLMsgOk);
    if (KEL_UserChooseUtf8(text, open.c_str(), ok.c_str(), nullptr) == kChooseFirst &&
        (!plat::hasBackend() || !plat::backend().openAddress("file://" + folder.string())))
        BL_Notify(kBLMsgNoFolderOpener, 0);
}

void BLGroovePanel::diskMixResume()
{
    const bool wasPlaying = diskMixWasPlaying, wasSequence = diskMixWasSequence;
    diskMixWasPlaying = diskMixWasSequence = false;
    if (!wasPlaying || player().playing) return;
    if (wasSequence)
        player().playSequence();
    else
        player().play();
}

void BLGroovePanel::diskMixTakeRun(int16_t take, const std::string& pathKel)
{
    // The live chain is the one engine a process has, and this one's holds
    // the player's song: the take is mixed by the program run again, as
    // `--render --take` mixes it, on a copy of the work as it is now, into
    // the file the dialog named, in the preferences' format.
    const std::string target = BLDiskMix_TargetOf(pathKel, blPrefs.exportFormat);
    char system[kKelSystemPathMax + 1] = {};
    if (target.empty() || !KEL_KelPathToSystemPath(target.c_str(), system)) {
        BL_NotifyNames(kMsgTakeNotMixed, 0, {blIntl.messageWithNames(kBLMsgReasonOther, {})});
        return;
    }
    BLProgressFeedback feedback;
    feedback.show();
    feedback.setStopMode(true);
    feedback.message(kBLMsgMixing);
    feedback.amount(0);
    feedback.subAmountRange(1.0f);
    std::string said;
    int status = -1;
    std::error_code ec;
    plat::ScratchFile doc;
    if (doc.open((std::filesystem::current_path(ec) / "TakeMix.bld").string())) {
        const std::vector<uint8_t> bytes = groove.model.encodeWork();
        std::ofstream out(doc.path(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (out.flush()) {
            // As started: its folder, perhaps of links, is the program folder.
            const std::string self = PWprogramFile[0] ? PWprogramFile : "/proc/self/exe";
            status = plat::runWatched(
                self,
                {"--render", doc.path(), "--take", std::to_string(take + 1), "-o", system,
                 blPrefs.normalize ? "--normalize" : "--no-normalize", "--progress"},
                [&](const std::string& line) {
                    int percent = 0;
                    if (std::sscanf(line.c_str(), "%d%%", &percent) == 1) {
                        BLProgress_subAmount(static_cast<float>(percent) / 100.0f);
                    } else if (!line.empty()) {
                        said = line.rfind("beatloom: ", 0) == 0 ? line.substr(10) : line;
                    }
                },
                [] { return BLProgress_shouldStop(); });
        }
        doc.remove();
    }
    feedback.amount(1.0f);
    feedback.hide();
    // A stop leaves nothing half-written, and says nothing more.
    if (status == 130) return;
    if (status == 0) {
        diskMixWritten({target}, groove.takes()[static_cast<size_t>(take)].frames);
        return;
    }
    BL_NotifyNames(kMsgTakeNotMixed, 0,
                   {said.empty() ? blIntl.messageWithNames(kBLMsgReasonOther, {}) : said});
}
