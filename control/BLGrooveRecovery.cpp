// The recovery file: the user's unsaved work written aside while it changes,
// so that a crash, a power loss or a kill loses at most the last 30 s, and
// offered back at the next start.
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "control/BLGrooveController.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelTextCodec.h"
#include "library/BLDocument.h"
#include "library/BLSynthIce.h"
#include "platform/PlatRecovery.h"
#include "platform/Platform.h"

namespace {

constexpr int16_t kMsgRecover = 307;  // "... your work of %s was saved. Recover it?"
// The same with the document, its song and the program folder that wrote it.
constexpr int16_t kMsgRecoverFrom = 568;
constexpr int16_t kMsgUntitled = 316;
constexpr int16_t kMsgRecoverButton = 308;
constexpr int16_t kMsgLaterButton = 309;
constexpr int16_t kMsgDiscard = 75;
constexpr int16_t kMsgCannotRecover = 317;  // song name
constexpr uint32_t kRecoveryEveryMs = 30000;

constexpr int kAnswerRecover = 1;
constexpr int kAnswerDiscard = 2;

std::string hoursAndMinutes(int64_t when)
{
    const std::time_t t = static_cast<std::time_t>(when);
    std::tm local{};
    char text[16] = "--:--";
    if (when > 0 && localtime_r(&t, &local)) std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

}  // namespace

void BLGrooveController::recoveryIdle()
{
    if (!recovery) return;
    if (!workUnsaved()) {
        if (recovery->written()) recovery->remove();
        return;
    }
    if (recovery->written() &&
        (keeper().version() == recoveryVersion || plat::millis() - recoveryWrittenAt < kRecoveryEveryMs))
        return;
    writeRecovery();
}

void BLGrooveController::writeRecovery()
{
    // The recovery files are the user's, shared by every installation: the
    // note says which one wrote this.
    std::error_code ec;
    const BLRecoveryNote note{keeper().lastChanged(), model.lastDocument.path,
                              std::filesystem::current_path(ec).string()};
    recoveryVersion = keeper().version();
    recoveryWrittenAt = plat::millis();
    if (!recovery->write(model.encodeWork(&note)))
        plat::logLine("the recovery file cannot be written: " + recovery->path());
}

void BLGrooveController::recoveryAtExit(bool bySignal)
{
    if (!recovery) return;
    if (bySignal && workUnsaved()) {
        // Written now whatever its age; its lock goes with the process, so
        // the next start finds it.
        writeRecovery();
        recovery.reset();
        return;
    }
    recovery->close();
    recovery.reset();
}

void BLGrooveController::offerRecovery()
{
    recovery = std::make_unique<plat::RecoveryStore>();
    if (!recovery->open()) plat::logLine("no recovery folder: " + plat::RecoveryStore::folder());
    std::vector<plat::RecoveryStore::Left> left = recovery->leftBehind();
    if (left.empty()) return;
    // One at a time, the newest first; the others wait for a later start.
    const plat::RecoveryStore::Left newest = left.front();
    for (size_t i = 1; i < left.size(); ++i) recovery->letGo(left[i]);
    std::vector<uint8_t> bytes;
    auto image = std::make_unique<BLIceimage>();
    BLSynthDefaultDocument synth;
    BLRecoveryNote note;
    if (!recovery->read(newest, bytes) ||
        BLDocument_Decode(bytes, image.get(), &synth, nullptr, &note).status != BLDocumentRead::read) {
        recovery->discard(newest);  // damaged: kept aside, never offered again
        return;
    }
    const std::string when = hoursAndMinutes(note.changed ? note.changed : newest.modified);
    char document[kKelNameMax + 1] = {};
    if (!note.document.empty()) KEL_FileNameFromPath(note.document.c_str(), document, sizeof document);
    const std::string documentName =
        document[0] ? std::string(document) : KEL_Latin1ToUtf8(blIntl.message(kMsgUntitled).c_str());
    const std::string text =
        note.program.empty()
            ? blIntl.messageWithNames(kMsgRecover, {when})
            : blIntl.messageWithNames(kMsgRecoverFrom, {when, documentName, image->songName, note.program});
    plat::logLine("recovery offered: " + newest.path);
    const int answer =
        KEL_UserChooseUtf8(text, blIntl.message(kMsgRecoverButton).c_str(),
                           blIntl.message(kMsgDiscard).c_str(), blIntl.message(kMsgLaterButton).c_str());
    if (answer == kAnswerDiscard) {
        recovery->discard(newest);
        return;
    }
    if (answer != kAnswerRecover) {
        recovery->letGo(newest);
        return;
    }
    if (!model.applyWork(bytes)) {
        BL_NotifyNames(kMsgCannotRecover, 0, {image->songName});
        recovery->letGo(newest);
        return;
    }
    display().workShown();
    model.lastDocument.set(note.document.empty() ? "Untitled" : note.document.c_str());
    keeper().reset(false);
    // Its work is this instance's now: written under its own name before the old file goes.
    writeRecovery();
    if (recovery->written()) recovery->recovered(newest);
}
