#include "panels/tuner/BLLoopTunerPanel.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "audio/BLEngine.h"
#include "audio/sndInRec.h"
#include "control/BLGrooveController.h"
#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/BLWriteReason.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLDocument.h"
#include "library/BLLoopTempo.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/player/BLDiskMix.h"
#include "panels/progress/BLProgressPanel.h"
#include "panels/startup/PWmain.h"
#include "panels/tuner/BLTunerKnob.h"
#include "platform/PlatFiles.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kRequestLoad = 1;
constexpr int16_t kRequestSave = 2;

constexpr int16_t kMsgRecording = 40;
constexpr int16_t kMsgLoading = 42;
constexpr int16_t kMsgConverting = 43;
constexpr int16_t kMsgLoadingConverted = 44;
constexpr int16_t kMsgCannotConvert = 45;
constexpr int16_t kMsgCannotLoadConverted = 46;
constexpr int16_t kMsgSaving = 47;
constexpr int16_t kMsgCannotSave = 48;
constexpr int16_t kMsgNoInput = 220;
constexpr int16_t kMsgNothingToSave = 221;
constexpr int16_t kMsgPlayFirst = 222;
constexpr int16_t kMsgFolderNotWritable = 223;
constexpr int16_t kMsgShortened = 224;
constexpr int16_t kMsgSaved = 225;
constexpr int16_t kMsgNoSong = 226;
constexpr int16_t kMsgNoLoopYet = 227;
constexpr int16_t kMsgCountIn = 228;
constexpr int16_t kMsgRecordingInTime = 229;
constexpr int16_t kMsgLoopTempo = 342;  // "Loop %s BPM (%s): %s, played at %s BPM."
constexpr int16_t kMsgFromName = 343;
constexpr int16_t kMsgFromLength = 344;
constexpr int16_t kMsgPlayedAtSpeed = 345;
constexpr int16_t kMsgOneBar = 346;
constexpr int16_t kMsgBars = 347;
constexpr int16_t kMsgNoCaptureDevice = 348;  // then busy, no permission
constexpr int16_t kMsgCaptureSaid = 351;

constexpr const char* kRecordedName = "UserRec";
constexpr const char* kDefaultName = "UserLoop";
// The converted sound waits here, in the program's folder.
// The converted sound's file in the program folder: a scratch file of the
// careful writer's beside this name, never a file of this name.
constexpr const char* kTempLoopFile = "BLTempLoopFile.wav";

// Where the panel first shows on the stage.
constexpr int16_t kHomeX = 100;
constexpr int16_t kHomeY = 100;

// The lamp's brightness while recording: level x 3 + 64, level 0 to 64.
constexpr int kLampBase = 64;

const int16_t kBarsTable[5] = {1, 2, 4, 8, 8};

// The number a knob is first set to, in the order of Knob.
constexpr int16_t kRest[BLLoopTunerPanel::kKnobCount] = {-50, -50, -50, 0, 50, 0, 0, 0, 50};

// "%s" of a message filled with a text (literally, never as a format).
std::string filled(int16_t message, const std::string& with)
{
    std::string text = blIntl.message(message).c_str();
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, with);
    return text;
}

std::string minutesAndSeconds(int64_t frames)
{
    const int64_t seconds = frames / 44100;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace

// ---- Knobs to settings ------------------------------------------------------

void BLLoopTunerPanel::restValues(int16_t k[kKnobCount])
{
    std::copy(std::begin(kRest), std::end(kRest), k);
}

BLLoopTunerPanel::Reading BLLoopTunerPanel::read(const int16_t k[kKnobCount], bool audible)
{
    Reading r;
    blUserLoopSettingsRec& s = r.settings;
    // 0.01 as a single-precision value, in extended precision: knob 0 falls
    // just short of 2 and picks 2 bars.
    const auto index =
        static_cast<int>((50 + static_cast<long double>(k[kBars])) * 4 * static_cast<long double>(0.01f));
    const float bars = kBarsTable[std::clamp(index, 0, 4)];
    const float offset = static_cast<float>((50 + k[kOffset]) * bars * 0.01);
    const float start = std::clamp(50.0f + k[kStartCoarse] + k[kStartFine] * 0.01f, 0.0f, 100.0f);
    const float end = std::clamp(50.0f + k[kEndCoarse] + k[kEndFine] * 0.01f, 0.0f, 100.0f);
    const float t = k[kSpeedCoarse] + k[kSpeedFine] * 0.01f;
    const float speed = t < 0 ? (t + 50) * 0.01f + 0.5f : t * 0.02f + 1.0f;
    const float gain = k[kVolume] * 0.01f;

    s.enabled = audible ? 1 : 0;
    s.bars = static_cast<int16_t>(bars);
    s.offset = offset;
    s.gain = gain;
    s.rate = speed;
    s.start = start;
    s.end = end;

    std::snprintf(r.text[kBarsValue], sizeof r.text[0], "%1.0f", static_cast<double>(bars));
    std::snprintf(r.text[kOffsetValue], sizeof r.text[0], "%1.2f", static_cast<double>(offset));
    std::snprintf(r.text[kStartValue], sizeof r.text[0], "%2.2f%%", static_cast<double>(start));
    std::snprintf(r.text[kEndValue], sizeof r.text[0], "%2.2f%%", static_cast<double>(end));
    std::snprintf(r.text[kSpeedValue], sizeof r.text[0], "%1.2f", static_cast<double>(speed));
    std::snprintf(r.text[kVolumeValue], sizeof r.text[0], "%d%%", k[kVolume]);
    return r;
}

// ---- Screen hooks -------------------------------------------------------------

kelPanelControl* BLLoopTunerPanel::newCustomControl(int16_t kind)
{
    if (kind == kelKindRoundScroll) return new BLTunerKnob;
    return PWPanelClass::newCustomControl(kind);
}

void BLLoopTunerPanel::onPanelOpened()
{
    recording = false;
    for (int16_t item : {kItemName, kItemStatus}) {
        if (kelPanelControl* c = control(item)) {
            c->setValue(kelPropTextAlign, int16_t{0});
            c->setValue(kelPropFit, int16_t{1});
        }
    }
    for (int16_t i = 0; i < kKnobCount; ++i)
        if (auto* knob = dynamic_cast<BLTunerKnob*>(control(static_cast<int16_t>(kItemFirstKnob + i))))
            knob->restValue = kRest[i];
    restValues(knobs);
    knobs[kVolume] = 100;
    putKnobs();
}

void BLLoopTunerPanel::beforeShow()
{
    // Kept on the stage, wherever the window puts it.
    if (kelPanelControl* back = background(); back && !PWScreen.stage.contains(back->rect))
        PWScreen.setPanelPosition(screenIndex, kHomeX, kHomeY);
    canRecord = gep && gep->userLoop_canRecord();
    if (kelPanelControl* c = control(kItemRecord)) {
        if (canRecord)
            c->enable();
        else
            c->disable();
    }
    if (!canRecord)
        setStatusMessage(kMsgNoInput);
    else if (!hasLoop)
        setStatusMessage(kMsgNoLoopYet);
    else
        setStatus("");
    // A loop there is shows as it was left; without one the panel starts afresh.
    if (hasLoop) {
        putKnobs();
        dataInput();
    } else {
        audible = true;
        loopName[0] = '\0';
        resetValues();
    }
    showName();
    showRecordLook();
    showPlayLook();
}

void BLLoopTunerPanel::beforeHide()
{
    // The capture device is let go with the panel.
    if (!recording || !gep) return;
    gep->userLoop_recordStop();
    gep->userLoop_recordReset();
    recording = false;
    hasLoop = vetroGlobalData.loopFrames > 0;
    dataInput();
}

void BLLoopTunerPanel::onItem()
{
    const int16_t item = hitItem;
    if (item >= kItemFirstKnob && item < kItemFirstKnob + kKnobCount) {
        dataInput();
        if (item == kItemFirstKnob + kSpeedCoarse || item == kItemFirstKnob + kSpeedFine) showTempo();
        return;
    }
    if (liveChange) return;
    switch (item) {
        case kItemClose: close(); break;
        case kItemRecord: startRecord(); break;
        case kItemStop: stopRecord(); break;
        case kItemPlay: togglePlay(); break;
        case kItemLoad: load(); break;
        case kItemSave: save(); break;
        case kItemFit: fit(); break;
        default: break;
    }
}

void BLLoopTunerPanel::onIdle()
{
    if (!recording || !gep) return;
    short percent = 0, level = 0;
    recording = gep->userLoop_recordStatus(&percent, &level) != 0;
    if (percent > 99) gep->userLoop_recordStop();
    if (recording && inTime) showTake();
    if (!recording) {
        gep->userLoop_recordReset();
        if (inTime) {
            // A take in time is whole bars at the song's tempo, turned to
            // its place in the period: played as it is, the whole of it.
            inTime = false;
            knobs[kOffset] = -50;
            knobs[kStartCoarse] = -50;
            knobs[kStartFine] = 0;
            knobs[kEndCoarse] = 50;
            knobs[kEndFine] = 0;
            knobs[kSpeedCoarse] = 0;
            knobs[kSpeedFine] = 0;
            putKnobs();
        }
        hasLoop = vetroGlobalData.loopFrames > 0;
        setStatus("");
        dataInput();
        showRecordLook();
        showPlayLook();
        showName();
        return;
    }
    if (percent != shownPercent) {
        shownPercent = percent;
        char text[16];
        std::snprintf(text, sizeof text, "%ld%%", static_cast<long>(percent));
        setText(static_cast<int16_t>(kItemFirstValue + kEndValue), text);
    }
    if (kelPanelControl* lamp = control(kItemLamp))
        lamp->setValue(kelPropLevel, static_cast<int16_t>(std::clamp<int>(level, 0, 64) * 3 + kLampBase));
}

void BLLoopTunerPanel::asyncDialogMessage(BLPath* path)
{
    if (!path) return;
    if (path->requestCode == kRequestLoad) loadResult(path);
    if (path->requestCode == kRequestSave) saveResult(path);
}

// ---- Controls -------------------------------------------------------------------

void BLLoopTunerPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) c->setValue(const_cast<char*>(text ? text : ""));
}

void BLLoopTunerPanel::setStatus(const char* text)
{
    std::snprintf(statusText, sizeof statusText, "%s", text ? text : "");
    setText(kItemStatus, statusText);
}

void BLLoopTunerPanel::setStatusMessage(int16_t message)
{
    setStatus(blIntl.message(message).c_str());
}

void BLLoopTunerPanel::showName()
{
    char text[96];
    if (hasLoop && !recording)
        std::snprintf(text, sizeof text, "%s  %.2f s", loopName[0] ? loopName : kDefaultName,
                      vetroGlobalData.loopFrames / 44100.0);
    else
        std::snprintf(text, sizeof text, "%s", loopName);
    setText(kItemName, text);
}

void BLLoopTunerPanel::showRecordLook()
{
    if (kelPanelControl* c = control(kItemRecord)) c->setValue(static_cast<int16_t>(recording ? 1 : 0));
    if (kelPanelControl* lamp = control(kItemLamp)) {
        lamp->setValue(kelPropImageIndex, static_cast<int16_t>(recording ? 2 : 1));
        lamp->setValue(kelPropLevel, int16_t{256});
    }
}

void BLLoopTunerPanel::showPlayLook()
{
    const bool sounding = audible && hasLoop && !recording;
    if (kelPanelControl* c = control(kItemPlay)) c->setValue(static_cast<int16_t>(sounding ? 1 : 0));
}

void BLLoopTunerPanel::showValues()
{
    for (int16_t v = 0; v < kValueCount; ++v)
        setText(static_cast<int16_t>(kItemFirstValue + v), shown.text[v]);
}

void BLLoopTunerPanel::takeKnobs()
{
    for (int16_t i = 0; i < kKnobCount; ++i)
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstKnob + i))) knobs[i] = c->get();
}

void BLLoopTunerPanel::putKnobs()
{
    for (int16_t i = 0; i < kKnobCount; ++i)
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstKnob + i))) c->setValue(knobs[i]);
}

// ---- What the panel does ------------------------------------------------------

void BLLoopTunerPanel::resetValues()
{
    restValues(knobs);
    putKnobs();
    dataInput();
}

void BLLoopTunerPanel::dataInput()
{
    if (recording) return;
    takeKnobs();
    shown = read(knobs, audible);
    // The speed knobs where Fit put them play the exact speed they show rounded.
    if (hasLoop) {
        const Fitting f = fitting();
        if (f.found && knobs[kSpeedCoarse] == f.coarse && knobs[kSpeedFine] == f.fine)
            shown.settings.rate = static_cast<float>(f.rate);
    }
    showValues();
    if (gep) gep->userLoop_params(&shown.settings);
}

void BLLoopTunerPanel::startRecord()
{
    if (!gep || recording) return;
    gep->userLoop_recordStop();
    // The bars the knob says, in time with the groove where it can be.
    gep->userLoop_recordBars(shown.settings.bars);
    const bool started = gep->userLoop_recordStart() != 0;
    if (!started) {
        showRecordLook();
        const bool playing = blPlayer && blPlayer->playing;
        std::string said;
        const int problem = gep->userLoop_recordProblem(&said);
        // The program's words, then why: a card that records while it plays
        // is the rule now, so the reason is the device's.
        std::string reason;
        if (problem >= 1 && problem <= 3)
            reason = blIntl.message(kMsgNoCaptureDevice + problem - 1).c_str();
        else if (!said.empty())
            reason = filled(kMsgCaptureSaid, KEL_NameToLatin1(said));  // the system's words may be UTF-8
        else if (playing)
            reason =
                "Probably your sound hardware doesn't allow recording while playing. Stop playback first.";
        std::string text("Errors starting record !");
        if (!reason.empty()) text.append(1, ' ').append(reason);
        KEL_UserNotify(text.c_str(), 0);
        if (problem == 1) {
            canRecord = false;
            if (kelPanelControl* c = control(kItemRecord)) c->disable();
            setStatusMessage(kMsgNoInput);
        }
        return;  // the loop there was stays as it was
    }
    recording = true;
    audible = true;
    hasLoop = false;
    loopSource.clear();
    shownPercent = -1;
    std::snprintf(loopName, sizeof loopName, "%s", kRecordedName);
    setText(static_cast<int16_t>(kItemFirstValue + kBarsValue), "");
    setText(static_cast<int16_t>(kItemFirstValue + kOffsetValue), "");
    setText(static_cast<int16_t>(kItemFirstValue + kEndValue), "--");
    setText(static_cast<int16_t>(kItemFirstValue + kSpeedValue), "");
    inTime = gep->userLoop_countIn() >= 0;
    shownCountIn = -2;
    if (inTime)
        showTake();
    else
        setStatusMessage(kMsgRecording);
    showName();
    showRecordLook();
    showPlayLook();
}

// The count-in's beats left, then what is being recorded.
void BLLoopTunerPanel::showTake()
{
    const int countIn = gep->userLoop_countIn();
    if (countIn == shownCountIn) return;
    shownCountIn = countIn;
    if (countIn > 0) {
        setStatus(filled(kMsgCountIn, std::to_string(countIn)).c_str());
        return;
    }
    const int bars = shown.settings.bars;
    const std::string what =
        bars == 1 ? std::string(blIntl.message(kMsgOneBar).c_str()) : filled(kMsgBars, std::to_string(bars));
    setStatus(filled(kMsgRecordingInTime, what).c_str());
}

void BLLoopTunerPanel::stopRecord()
{
    if (!gep) return;
    if (recording) {
        gep->userLoop_recordStop();
        return;
    }
    // Nothing to stop recording: the loop falls silent.
    audible = false;
    dataInput();
    showPlayLook();
}

void BLLoopTunerPanel::togglePlay()
{
    if (recording) return;
    audible = !audible;
    // The loop sounds with the groove: the groove starts when it is stopped.
    if (audible && hasLoop && blPlayer && !blPlayer->playing) blPlayer->play();
    dataInput();
    showPlayLook();
}

void BLLoopTunerPanel::close()
{
    // The loop is the user's work: it stays, and sounds on if it sounded.
    PWScreen.hide(screenIndex);
}

void BLLoopTunerPanel::clearLoop()
{
    if (gep) {
        gep->userLoop_recordStop();
        gep->userLoop_load(nullptr);
    }
    recording = false;
    hasLoop = false;
    audible = true;
    loopName[0] = '\0';
    loopSource.clear();
    restValues(knobs);
    putKnobs();
    dataInput();
}

// The loop belongs to the user's work: the controller takes it into
// documents and the keeper, and puts it back.
BLLoopTunerPanel::BLLoopTunerPanel()
{
    if (blGroove) blGroove->addWorkPart(this);
}

BLLoopTunerPanel::~BLLoopTunerPanel()
{
    if (blGroove) blGroove->removeWorkPart(this);
}

void BLLoopTunerPanel::songOpened(const std::string& userSong)
{
    if (userSong == loopSong) return;
    loopSong = userSong;
    if (hasLoop || recording) clearLoop();
    if (visible) {
        showName();
        showRecordLook();
        showPlayLook();
    }
}

void BLLoopTunerPanel::captureWork(BLWorkExtras& work)
{
    work.userLoop = hasLoop;
    work.userLoopHeard = audible;
    std::copy(std::begin(knobs), std::end(knobs), std::begin(work.tunerKnobs));
    work.userLoopFile = hasLoop ? loopSource : std::string();
    work.userLoopName = hasLoop ? loopName : "";
}

void BLLoopTunerPanel::applyWork(const BLWorkExtras& work)
{
    if (recording) return;  // a recording under way is left alone
    if (!work.userLoop && hasLoop) {
        clearLoop();
    } else if (work.userLoop && !work.userLoopFile.empty() && (!hasLoop || work.userLoopFile != loopSource)) {
        // Read again as it is; a sound that needed converting is not
        // converted here (an undo writes no file), and stays out.
        if (gep && gep->userLoop_load(work.userLoopFile.c_str()) != 0) {
            hasLoop = true;
            loopSource = work.userLoopFile;
            KEL_CopyCut(loopName, sizeof loopName, work.userLoopName.c_str());
        }
    }
    std::copy(std::begin(work.tunerKnobs), std::end(work.tunerKnobs), std::begin(knobs));
    audible = work.userLoopHeard;
    putKnobs();
    dataInput();
    if (visible) {
        showName();
        showPlayLook();
    }
}

void BLLoopTunerPanel::loopArrived()
{
    hasLoop = true;
    audible = true;
    fit();
    showPlayLook();
    showName();
}

BLLoopTunerPanel::Fitting BLLoopTunerPanel::fitting()
{
    Fitting f;
    const double songTempo = blPlayer && blPlayer->songBpm > 0 ? blPlayer->songBpm : 120.0;
    // The bars the knob offers: 1, 2, 4 and 8.
    tempo = BLLoop_Tempo(loopName, vetroGlobalData.loopFrames, songTempo, 0x8B);
    if (tempo.found == BLLoopTempo::Found::none || tempo.bpm <= 0) return f;
    f.found = true;
    f.bars = tempo.bars == 1 ? -50 : tempo.bars == 2 ? -12 : tempo.bars == 4 ? 12 : 38;
    // The loop's beat in source frames over the groove's beat as the
    // engine counts it (whole frames at the song's whole tempo).
    const int32_t songBeat = 2646000 / std::max(1, static_cast<int>(songTempo));
    f.rate = std::clamp(2646000.0 / tempo.bpm / songBeat, 0.5, 2.0);
    const double t = f.rate < 1.0 ? (f.rate - 0.5) / 0.01 - 50.0 : (f.rate - 1.0) / 0.02;
    f.coarse = static_cast<int16_t>(std::clamp<long>(std::lround(t), -50, 50));
    f.fine = static_cast<int16_t>(std::clamp<long>(std::lround((t - f.coarse) * 100.0), -50, 50));
    return f;
}

void BLLoopTunerPanel::fit()
{
    if (!hasLoop || recording) return;
    const Fitting f = fitting();
    if (!f.found) {
        dataInput();
        showTempo();
        return;
    }
    knobs[kBars] = f.bars;
    knobs[kOffset] = -50;
    knobs[kSpeedCoarse] = f.coarse;
    knobs[kSpeedFine] = f.fine;
    putKnobs();
    dataInput();
    showTempo();
}

void BLLoopTunerPanel::showTempo()
{
    if (!hasLoop || recording) return;
    const double rate = shown.settings.rate;
    char own[16], heard[16], ratio[16], bars[8];
    std::snprintf(own, sizeof own, "%.0f", tempo.bpm);
    std::snprintf(heard, sizeof heard, "%.0f", tempo.bpm * rate);
    std::snprintf(ratio, sizeof ratio, "%.2f", rate);
    std::snprintf(bars, sizeof bars, "%d", tempo.bars);
    const std::string barsText =
        tempo.bars == 1 ? std::string(blIntl.message(kMsgOneBar).c_str()) : filled(kMsgBars, bars);
    if (tempo.found == BLLoopTempo::Found::none) {
        setStatus(filled(kMsgPlayedAtSpeed, ratio).c_str());
        return;
    }
    const kelText how =
        blIntl.message(tempo.found == BLLoopTempo::Found::fromName ? kMsgFromName : kMsgFromLength);
    setStatus(
        KEL_NameToLatin1(blIntl.messageWithNames(kMsgLoopTempo, {own, KEL_Latin1ToUtf8(how.c_str()),
                                                                 KEL_Latin1ToUtf8(barsText.c_str()), heard}))
            .c_str());
}

void BLLoopTunerPanel::load()
{
    if (BLPath::dialogPending()) return;
    if (recording) beforeHide();  // a recording in progress ends first
    audibleBefore = audible;
    audible = false;
    dataInput();
    showPlayLook();
    dialogPath.userDialogTypes(0, 0, 0, 0, nullptr);
    if (!dialogPath.asyncDialogGet(kPWLoopTunerPanel, kRequestLoad, 0)) {
        audible = audibleBefore;
        dataInput();
        showPlayLook();
    }
}

void BLLoopTunerPanel::loadResult(BLPath* path)
{
    if (!path->dialogOk || !gep) {
        audible = audibleBefore;
        dataInput();
        showPlayLook();
        return;
    }
    std::memcpy(nameBefore, loopName, sizeof nameBefore);
    char name[kKelNameMax + 1];
    if (!path->getNameWithoutExtension(name)) name[0] = '\0';
    KEL_CopyCut(loopName, sizeof loopName, name);
    showName();

    BLProgressPanel* progress = BLProgress();
    if (progress) {
        progress->show();
        progress->message(kMsgLoading);
    }
    bool cut = false;
    const int16_t failure = loadLoopFile(path->path, cut);
    const bool loaded = failure == 0;
    const UserLoopLoadReport report = UserLoop_LastLoad();
    if (progress) {
        progress->amount(1.0f);
        progress->hide();
    }
    if (!loaded) {
        // The loop there was stays, as it sounded.
        std::memcpy(loopName, nameBefore, sizeof loopName);
        audible = audibleBefore;
        dataInput();
        showPlayLook();
        showName();
        if (failure > 0) BL_Notify(failure, 0);
        return;
    }
    loopSource = path->path;
    loopArrived();
    if (cut) KEL_UserNotify(filled(kMsgShortened, minutesAndSeconds(report.loadedFrames)).c_str(), 0);
}

int16_t BLLoopTunerPanel::loadLoopFile(const char* path, bool& cut)
{
    BLProgressPanel* progress = BLProgress();
    bool loaded = gep->userLoop_load(path) != 0;
    UserLoopLoadReport report = UserLoop_LastLoad();
    cut = loaded && report.loadedFrames < report.fileFrames;
    if (loaded) return 0;
    // Not a 44100 Hz 16-bit WAV file: the media service converts it, never
    // longer than a loop may be, into a scratch file of the writer's.
    if (progress) {
        progress->message(kMsgConverting);
        progress->amount(0.05f);
        progress->subAmountRange(0.85f);
    }
    plat::ScratchFile scratch;
    char convertedPath[kKelPathMax + 1] = {};
    const bool converted =
        scratch.open(kTempLoopFile) &&
        KEL_SystemPathToKelPath(scratch.path().c_str(), convertedPath, sizeof convertedPath) &&
        kelQt_soundConvert_toLoopWaveUpTo(path, convertedPath, UserLoop_MemoryBudget() / 4,
                                          BLProgress_subAmount, &cut);
    if (progress) {
        progress->message(kMsgLoadingConverted);
        progress->amount(0.9f);
    }
    if (!converted) return kMsgCannotConvert;
    loaded = gep->userLoop_load(convertedPath) != 0;
    report = UserLoop_LastLoad();
    cut = cut || (loaded && report.loadedFrames < report.fileFrames);
    return loaded ? 0 : kMsgCannotLoadConverted;
}

void BLLoopTunerPanel::save()
{
    if (BLPath::dialogPending() || !gep) return;
    if (recording) beforeHide();
    if (!hasLoop) {
        BL_Notify(kMsgNothingToSave, 0);
        return;
    }
    const char* song = blGroove ? blGroove->model.songFolder.path : "";
    if (!song[0]) {
        BL_Notify(kMsgNoSong, 0);
        return;
    }
    // One period at the song's tempo: known once the loop played with it.
    const int16_t songBpm = blPlayer ? blPlayer->songBpm : 0;
    if (songBpm > 0) {
        const int64_t expected = int64_t{4} * (2646000 / songBpm) * shown.settings.bars;
        if (gep->userLoop_periodFrames() != expected) {
            BL_Notify(kMsgPlayFirst, 0);
            return;
        }
    }
    audibleBefore = audible;
    audible = false;
    dataInput();
    showPlayLook();
    const std::string folder = std::string(song) + "User:";
    KEL_CreateDirectory(folder.c_str());
    dialogPath.set(folder.c_str());
    dialogPath.add(loopName[0] ? loopName : kDefaultName);
    dialogPath.add(".wav");
    dialogPath.userDialogTypes(0, 0, 0, 0, "*.wav");
    if (!dialogPath.asyncDialogPut(kPWLoopTunerPanel, kRequestSave, 0)) {
        audible = audibleBefore;
        dataInput();
        showPlayLook();
    }
}

void BLLoopTunerPanel::saveResult(BLPath* path)
{
    if (!path->dialogOk || !gep) {
        audible = audibleBefore;
        dataInput();
        showPlayLook();
        return;
    }
    kelPath target(path->path);
    target.setExtension("wav");
    BLProgressPanel* progress = BLProgress();
    if (progress) {
        progress->show();
        progress->message(kMsgSaving);
    }
    plat::clearWriteError();
    const bool saved = gep->userLoop_save(target.path) != 0;
    const int error = plat::lastWriteError();
    if (progress) {
        progress->amount(1.0f);
        progress->hide();
    }
    if (!saved) {
        audible = audibleBefore;
        dataInput();
        showPlayLook();
        char folder[kKelPathMax + 1];
        KEL_CopyCut(folder, sizeof folder, target.path);
        KEL_File_StripFileName(folder);
        // A folder that is there but takes no file (some system folders say
        // "no such file") is one that cannot be written.
        if (error == EACCES || error == EPERM || (error == ENOENT && kelPath(folder).isFolder())) {
            char system[kKelPathMax + 1];
            const std::string shown =
                KEL_KelPathToSystemPath(folder, system, sizeof system) ? system : folder;
            BL_NotifyNames(kMsgFolderNotWritable, 0, {shown});
        } else {
            // The reason in the person's words: the disk full or read-only, the name too long ...
            BL_NotifyNames(kMsgCannotSave, 0, {BL_WriteReasonText(error)});
        }
        return;
    }
    // The song opens again with the new loop among its own.
    if (blPlayer) blPlayer->stop();
    if (blGroove) {
        blGroove->model.iced_store();
        blGroove->model.iced_restore(false);
    }
    setStatusMessage(kMsgSaved);
}
