#include "panels/prefs/BLPrefsPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "audio/BLEngine.h"
#include "audio/LaunchGrid.h"
#include "control/BLGrooveController.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "library/BLSongLibrary.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/help/BLHelps.h"
#include "panels/player/BLDiskMix.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kMsgNoOptions = 186;
constexpr int16_t kMsgSetName = 187;
constexpr int16_t kMsgNoSong = 188;
// "Cycle", "Beat", "Bar", "2 bars", "4 bars", "8 bars".
constexpr int16_t kMsgLaunchGridFirst = 400;
constexpr int16_t kMsgDefaultCard = 406;
constexpr int16_t kMsgFrames = 407;
constexpr int16_t kMsgNoJack = 431;
constexpr int16_t kMsgJack = 432;
constexpr int16_t kMsgJackGone = 433;
// "Size: Fit", then the sizes of kStageSizes.
constexpr int16_t kMsgStageSizeFirst = 440;
constexpr int kStageChoices = 1 + static_cast<int>(std::size(plat::kStageSizes));
constexpr int kFrameChoices = static_cast<int>(std::size(kBLOutputFrames));
// Where the panel shows on the stage (skin/layouts/prefs.txt, "stage").
constexpr int16_t kStageLeft = 100;
constexpr int16_t kStageTop = 24;

// The format chips in list order of the codes they stand for.
constexpr uint32_t kChipCodes[BLPrefsPanel::kFormatChips] = {
    kelQtFormatNative,    kelQtFormatWave, kelQtFormatAiff, kelQtFormatFlac,
    kelQtFormatOggVorbis, kelQtFormatOpus, kelQtFormatMp3};

// Fit first, then the sizes; the backend's own choice shows as Fit, as a desktop window does it.
int stageChoice(int16_t size)
{
    for (int i = 1; i < kStageChoices; ++i)
        if (plat::kStageSizes[i - 1] == size) return i;
    return 0;
}

const BLSongLibrary* currentLibrary()
{
    return blGroove ? &blGroove->model.library() : nullptr;
}

}  // namespace

BLPrefsPanel::BLPrefsPanel()
{
    kelQt_soundConvert_settingsDataInit(&settings);
}

BLPrefsPanel::~BLPrefsPanel()
{
    kelQt_soundConvert_settingsDataDispose(&settings);
}

int16_t BLPrefsPanel::chipOf(uint32_t code) const
{
    for (int16_t i = 0; i < kFormatChips; ++i)
        if (kChipCodes[i] == code) return static_cast<int16_t>(kItemFormat + i);
    return -1;
}

void BLPrefsPanel::beforeShow()
{
    formats_.assign(1, kelQtFormatNative);
    uint32_t code = 0;
    char name[kelQtFormatNameSize];
    for (int16_t i = 0; kelQt_soundConvert_getFormat(i, &code, name); ++i) formats_.push_back(code);

    format = blPrefs.exportFormat;
    kelQt_soundConvert_settingsDataCopy(&blPrefs.exportSettings, &settings);
    for (int i = 0; i < kBLRandomLevels; ++i) levels[i] = blPrefs.randomLevels[i];
    mixTarget = blPrefs.mixTarget;
    interfaceColor = blPrefs.interfaceColor;
    normalize = blPrefs.normalize;
    tooltips = blPrefs.tooltips;
    resampleQuality = blPrefs.resampleQuality;
    launchGrid = static_cast<int16_t>(LaunchGridFromCode(blPrefs.launchGrid));
    outputCard = blPrefs.outputCard;
    outputFrames = blPrefs.outputFrames;
    jackTransport = blPrefs.jackTransport;
    stageSize = KEL_StageSize();
    cards_.assign(1, std::string());
    for (const std::string& name : BLEngine::outputCards())
        if (!name.empty()) cards_.push_back(name);
    if (std::find(cards_.begin(), cards_.end(), outputCard) == cards_.end()) cards_.push_back(outputCard);

    takeMidi();
    offerFormats();
    for (int16_t i = 0; i < 4; ++i) control(static_cast<int16_t>(kItemSetName + i))->setValue(2, int16_t{0});
    control(kItemOptionName)->setValue(2, int16_t{0});
    // On the stage where its layout places it, wherever the window put the stage.
    PWScreen.setPanelPosition(screenIndex, kStageLeft, kStageTop);
    refresh();
}

void BLPrefsPanel::offerFormats()
{
    // A chip whose format this system cannot write is not offered.
    for (int16_t i = 0; i < kFormatChips; ++i) {
        kelPanelControl* c = control(static_cast<int16_t>(kItemFormat + i));
        bool offered = false;
        for (uint32_t f : formats_) offered = offered || f == kChipCodes[i];
        c->visible = offered ? 1 : 0;
        c->active = offered ? 1 : 0;
    }
}

void BLPrefsPanel::afterShow()
{
    savedModal_ = PWScreen.modalPanel;
    PWScreen.modalPanel = screenIndex;
}

void BLPrefsPanel::afterHide()
{
    if (PWScreen.modalPanel == screenIndex)
        PWScreen.modalPanel = savedModal_ == screenIndex ? -1 : savedModal_;
}

void BLPrefsPanel::setOn(int16_t item, bool on)
{
    if (kelPanelControl* c = control(item)) c->setValue(static_cast<int16_t>(on ? 1 : 0));
}

void BLPrefsPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) {
        char copy[128];
        std::snprintf(copy, sizeof copy, "%s", text ? text : "");
        c->setValue(copy);
    }
}

void BLPrefsPanel::refresh()
{
    for (int16_t i = 0; i < kFormatChips; ++i)
        setOn(static_cast<int16_t>(kItemFormat + i), kChipCodes[i] == format);

    const int16_t count = kelQt_soundConvert_optionCount(format);
    const int16_t chosen = kelQt_soundConvert_optionIndex(format, &settings);
    char name[kelQtFormatNameSize];
    for (int16_t i = 0; i < kOptionChips; ++i) {
        kelPanelControl* chip = control(static_cast<int16_t>(kItemOption + i));
        kelPanelControl* text = control(static_cast<int16_t>(kItemOptionText + i));
        const bool shown = !midiPage_ && i < count && kelQt_soundConvert_optionName(format, i, name);
        chip->visible = text->visible = shown ? 1 : 0;
        chip->active = shown ? 1 : 0;
        setOn(static_cast<int16_t>(kItemOption + i), i == chosen);
        setText(static_cast<int16_t>(kItemOptionText + i), shown ? name : "");
    }
    if (chosen >= 0 && kelQt_soundConvert_optionName(format, chosen, name)) {
        setText(kItemOptionName, name);
    } else {
        setText(kItemOptionName, blIntl.message(kMsgNoOptions).c_str());
    }

    setOn(kItemTargetOne, mixTarget == 0);
    setOn(kItemTargetStems, mixTarget == 1);
    setOn(kItemClassic, resampleQuality == 0);
    setOn(kItemHigh, resampleQuality == 1);
    setOn(kItemNormalize, normalize != 0);
    setOn(kItemTooltips, tooltips != 0);
    for (int16_t k = 0; k < 8; ++k) setOn(static_cast<int16_t>(kItemColour + k), k == interfaceColor);
    setText(kItemGridName, blIntl.message(static_cast<int16_t>(kMsgLaunchGridFirst + launchGrid)).c_str());
    if (kelPanelControl* c = control(kItemCardName)) c->setValue(kelPropFit, int16_t{1});
    setText(kItemCardName, outputCard.empty() ? blIntl.message(kMsgDefaultCard).c_str()
                                              : KEL_NameToLatin1(outputCard).c_str());
    const std::string frames = std::to_string(outputFrames);
    // A message with names comes in UTF-8; the skin font draws the 8-bit set.
    setText(kItemFramesName,
            KEL_NameToLatin1(blIntl.messageWithNames(kMsgFrames, {std::string_view(frames)})).c_str());
    setOn(kItemJackTransport, jackTransport != 0);
    setText(kItemStageSizeName,
            blIntl.message(static_cast<int16_t>(kMsgStageSizeFirst + stageChoice(stageSize))).c_str());
    if (kelPanelControl* c = control(kItemJackState)) c->setValue(kelPropFit, int16_t{1});
    if (BLEngine::outputIsJack()) {
        const std::string rate = std::to_string(BLEngine::jackRate());
        const std::string period = std::to_string(BLEngine::jackPeriodFrames());
        setText(kItemJackState,
                KEL_NameToLatin1(
                    blIntl.messageWithNames(kMsgJack, {std::string_view(rate), std::string_view(period)}))
                    .c_str());
    } else {
        setText(kItemJackState, blIntl.message(BLEngine::jackGone() ? kMsgJackGone : kMsgNoJack).c_str());
    }
    if (midiPage_) {
        refreshMidi();
    } else {
        refreshLights();
    }
    if (visible) {
        const kelRect whole = background()->rect;
        PWScreen.update(&whole);
    }
}

// A row of lights for each random set the open song defines; light j is
// lit below the level - 2 and exists below the set's entry count - 2.
void BLPrefsPanel::refreshLights()
{
    const BLSongLibrary* library = currentLibrary();
    const int16_t sets = library ? library->randomSetCount : 0;
    for (int16_t r = 0; r < kBLRandomLevels; ++r) {
        const bool defined = r < sets;
        char name[kBLTitleSize + 8] = "";
        if (defined) {
            std::snprintf(name, sizeof name, "%s", library->randomSets[r].name);
            if (!name[0]) {
                // The table's text is filled in, never used as a format.
                std::string text = blIntl.message(kMsgSetName).c_str();
                const size_t at = text.find("%d");
                if (at != std::string::npos)
                    text = text.substr(0, at) + std::to_string(r + 1) + text.substr(at + 2);
                std::snprintf(name, sizeof name, "%s", text.c_str());
            }
        } else if (r == 0 && sets == 0) {
            std::snprintf(name, sizeof name, "%s", blIntl.message(kMsgNoSong).c_str());
        }
        setText(static_cast<int16_t>(kItemSetName + r), name);
        const int entries = defined ? library->randomSets[r].count : 0;
        const int16_t available = static_cast<int16_t>(std::clamp(entries - 2, 0, kLights));
        const int16_t lit = static_cast<int16_t>(std::clamp(levels[r] - 2, 0, static_cast<int>(available)));
        lightsAvailable[r] = available;
        kelPanelControl* row = control(static_cast<int16_t>(kItemSetLights + r));
        row->visible = row->active = available > 0 ? 1 : 0;
        row->setValue(static_cast<int16_t>(available * 6 + lit));
    }
}

// Light j clicked in a row: the level j + 3.
void BLPrefsPanel::onItem_lights(int16_t row)
{
    const kelPanelControl* lights = control(static_cast<int16_t>(kItemSetLights + row));
    const int16_t j = static_cast<int16_t>((kelGlo.mouseX - lights->rect.left) / kLightPitch);
    if (j < 0 || j >= lightsAvailable[row]) return;
    levels[row] = static_cast<int16_t>(j + 3);
    refreshLights();
}

void BLPrefsPanel::stepCard(int step)
{
    const auto at = std::find(cards_.begin(), cards_.end(), outputCard);
    const int count = static_cast<int>(cards_.size());
    const int i = at == cards_.end() ? 0 : static_cast<int>(at - cards_.begin());
    outputCard = cards_[static_cast<size_t>((i + step % count + count) % count)];
    refresh();
}

void BLPrefsPanel::stepFrames(int step)
{
    const auto at = std::find(std::begin(kBLOutputFrames), std::end(kBLOutputFrames), outputFrames);
    const int i = at == std::end(kBLOutputFrames) ? 2 : static_cast<int>(at - std::begin(kBLOutputFrames));
    outputFrames = kBLOutputFrames[(i + step + kFrameChoices) % kFrameChoices];
    refresh();
}

void BLPrefsPanel::stepStageSize(int step)
{
    const int i = (stageChoice(stageSize) + step + kStageChoices) % kStageChoices;
    stageSize = static_cast<int16_t>(i == 0 ? plat::kStageFit : plat::kStageSizes[i - 1]);
    refresh();
}

void BLPrefsPanel::chooseFormat(int16_t entry)
{
    if (entry < 0 || entry >= static_cast<int16_t>(formats_.size())) return;
    const uint32_t code = formats_[static_cast<size_t>(entry)];
    if (code != format) {
        format = code;
        // The block belongs to one format: another starts from its defaults.
        if (code == kelQtFormatNative) {
            kelQt_soundConvert_settingsDataDispose(&settings);
        } else {
            kelQt_soundConvert_askUser(code, &settings);
        }
    }
    refresh();
}

void BLPrefsPanel::chooseOption(int16_t index)
{
    kelQt_soundConvert_setOption(format, index, &settings);
    refresh();
}

void BLPrefsPanel::onItem_options()
{
    const int16_t count = kelQt_soundConvert_optionCount(format);
    if (format == kelQtFormatNative || count <= 0) {
        BL_Notify(kBLMsgNoOptions, 0);
        return;
    }
    chooseOption(static_cast<int16_t>((kelQt_soundConvert_optionIndex(format, &settings) + 1) % count));
}

void BLPrefsPanel::confirm()
{
    blPrefs.exportFormat = format;
    kelQt_soundConvert_settingsDataCopy(&settings, &blPrefs.exportSettings);
    for (int i = 0; i < kBLRandomLevels; ++i) blPrefs.randomLevels[i] = levels[i];
    blPrefs.mixTarget = mixTarget;
    blPrefs.normalize = normalize;
    blPrefs.resampleQuality = resampleQuality;
    blPrefs.tooltips = tooltips;
    if (auto* helps = dynamic_cast<BLHelps*>(PWScreen.help)) helps->setTooltips(tooltips != 0);
    // Through the groove panel, which gives it to the engine and shows it.
    if (blGroove)
        blGroove->setLaunchGrid(LaunchGridFromCode(launchGrid));
    else
        blPrefs.launchGrid = launchGrid;
    std::snprintf(blPrefs.outputCard, sizeof blPrefs.outputCard, "%s", outputCard.c_str());
    blPrefs.outputFrames = outputFrames;
    blPrefs.jackTransport = jackTransport;
    // Opened with them from the next Play on.
    if (gep) gep->setOutput(outputCard, outputFrames);
    // The colour is saved with the rest, so it survives whatever ends the program.
    const bool recolour = blPrefs.interfaceColor != interfaceColor;
    blPrefs.interfaceColor = interfaceColor;
    confirmMidi();
    // Untouched, the backend's own choice stays; changed, it is applied as
    // Ctrl+Plus and Ctrl+Minus apply it, and kept.
    const bool resize = stageSize != KEL_StageSize();
    if (resize) blPrefs.stageSize = stageSize;
    blPrefs.saveTelling();
    PWScreen.hide(screenIndex);
    if (resize) KEL_SetStageSize(stageSize);
    if (recolour) PWScreen.changeAllColors(interfaceColor);
}

void BLPrefsPanel::cancel()
{
    PWScreen.hide(screenIndex);
}

void BLPrefsPanel::onItem()
{
    const int16_t item = hitItem;
    if (liveChange) return;
    if (onItem_midi(item)) return;
    if (item >= kItemFormat && item < kItemFormat + kFormatChips) {
        const uint32_t code = kChipCodes[item - kItemFormat];
        for (size_t e = 0; e < formats_.size(); ++e)
            if (formats_[e] == code) chooseFormat(static_cast<int16_t>(e));
        refresh();
        return;
    }
    if (item >= kItemOption && item < kItemOption + kOptionChips)
        return chooseOption(static_cast<int16_t>(item - kItemOption));
    if (item >= kItemSetLights && item < kItemSetLights + kBLRandomLevels)
        return onItem_lights(static_cast<int16_t>(item - kItemSetLights));
    if (item == kItemGrid) {
        const int step = kelGlo.shiftDown ? kLaunchGridChoices - 1 : 1;
        launchGrid = static_cast<int16_t>((launchGrid + step) % kLaunchGridChoices);
        return refresh();
    }
    if (item == kItemCard) return stepCard(kelGlo.shiftDown ? -1 : 1);
    if (item == kItemFrames) return stepFrames(kelGlo.shiftDown ? -1 : 1);
    if (item == kItemStageSize) return stepStageSize(kelGlo.shiftDown ? -1 : 1);
    if (item >= kItemColour && item < kItemColour + 8) {
        interfaceColor = static_cast<int16_t>(item - kItemColour);
        return refresh();
    }
    switch (item) {
        case kItemClose:
        case kItemCancel: cancel(); break;
        case kItemOk: confirm(); break;
        case kItemOptions: onItem_options(); break;
        case kItemTargetOne:
            mixTarget = 0;
            refresh();
            break;
        case kItemTargetStems:
            mixTarget = 1;
            refresh();
            break;
        case kItemClassic:
            resampleQuality = 0;
            refresh();
            break;
        case kItemHigh:
            resampleQuality = 1;
            refresh();
            break;
        case kItemNormalize:
            normalize = normalize ? 0 : 1;
            refresh();
            break;
        case kItemTooltips:
            tooltips = tooltips ? 0 : 1;
            refresh();
            break;
        case kItemJackTransport:
            jackTransport = jackTransport ? 0 : 1;
            refresh();
            break;
        default: break;
    }
}

void BLPrefsPanel::onKey()
{
    if (typing_) {
        onKey_osc();
        return;
    }
    if (kelGlo.what != kelKeyDown) return;
    if (kelGlo.specialKey == 20) {
        cancel();
    } else if (kelGlo.keyChar == kelKeyReturn) {
        confirm();
    }
}
