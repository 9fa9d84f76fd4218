#include "library/BLprefs.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "audio/LaunchGrid.h"
#include "core/BLInternational.h"
#include "core/BLWriteReason.h"
#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelRes.h"
#include "platform/PlatFiles.h"
#include "platform/Platform.h"

blPrefsClass blPrefs;

namespace {

constexpr int16_t kBLMsgPrefsNotSaved = 566;  // why
constexpr long kMainWindow = kelFourCC("mwin");
constexpr long kExportFormat = kelFourCC("otyp");
constexpr long kSettingsLength = kelFourCC("olen");
constexpr long kSettingsData = kelFourCC("odat");
constexpr long kRandomLevel = kelFourCC("usrr");
constexpr long kMixTarget = kelFourCC("mtrm");
constexpr long kInterfaceColor = kelFourCC("intc");
constexpr long kNormalize = kelFourCC("nrml");
constexpr long kResampleQuality = kelFourCC("rsmq");
constexpr long kVMixOptions = kelFourCC("vmxo");
constexpr long kVMixLeftOut = kelFourCC("vmxg");
constexpr long kTooltips = kelFourCC("htip");
constexpr long kNetLink = kelFourCC("netl");
constexpr long kNetLinkSize = 4 + kBLNetAddressSize;
constexpr long kKeyLock = kelFourCC("klck");
constexpr long kLink = kelFourCC("lnk1");
constexpr long kNetIdentity = kelFourCC("neti");
constexpr long kNetTrusted = kelFourCC("nett");
constexpr long kDocumentFolder = kelFourCC("dfld");
constexpr long kLaunchGrid = kelFourCC("lgrd");
constexpr long kOutputCard = kelFourCC("ocrd");
constexpr long kOutputFrames = kelFourCC("oprd");
constexpr long kMidiBindings = kelFourCC("midb");
// Far more than the most bindings take.
constexpr long kMidiBindingsBytes = 64 * 1024;
constexpr long kMidiClockOut = kelFourCC("mcko");
constexpr long kMidiClockIn = kelFourCC("mcki");
constexpr long kMidiClockInPort = kelFourCC("mckn");
constexpr long kMidiControl = kelFourCC("mctl");
constexpr long kMidiControlPort = kelFourCC("mctn");
constexpr long kJackTransport = kelFourCC("jtrn");
constexpr long kOscPort = kelFourCC("oscp");
constexpr long kStageSize = kelFourCC("stsz");
constexpr long kNetIdentityBytes = kBLNetIdentitySize - 1;

constexpr int16_t kDefaultLevels[kBLRandomLevels] = {4, 5, 6, 7};

bool isOwnItem(int32_t type)
{
    for (long own : {kMainWindow,      kExportFormat,   kSettingsLength,  kSettingsData,    kRandomLevel,
                     kMixTarget,       kInterfaceColor, kNormalize,       kResampleQuality, kTooltips,
                     kKeyLock,         kVMixOptions,    kVMixLeftOut,     kNetLink,         kNetIdentity,
                     kNetTrusted,      kDocumentFolder, kLaunchGrid,      kOutputCard,      kOutputFrames,
                     kStageSize,       kJackTransport,  kMidiBindings,    kMidiClockOut,    kMidiClockIn,
                     kMidiClockInPort, kMidiControl,    kMidiControlPort, kOscPort})
        if (type == static_cast<int32_t>(own)) return true;
    return false;
}

bool loadShort(KelResFile& file, long type, long id, int16_t low, int16_t high, int16_t* value)
{
    uint8_t bytes[2];
    if (!file.LoadData(reinterpret_cast<char*>(bytes), 2, type, id)) return false;
    const int16_t v = static_cast<int16_t>(kelGetLE16(bytes));
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

bool saveShort(KelResFile& file, long type, long id, int16_t value)
{
    uint8_t bytes[2];
    kelPutLE16(bytes, static_cast<uint16_t>(value));
    return file.SaveData(reinterpret_cast<const char*>(bytes), 2, type, id);
}

bool saveLong(KelResFile& file, long type, uint32_t value)
{
    uint8_t bytes[4];
    kelPutLE32(bytes, value);
    return file.SaveData(reinterpret_cast<const char*>(bytes), 4, type, 0);
}

// The virtual mixes' item is taken whole or not at all.
void loadVMix(KelResFile& file, BLVMixSettings& vmix)
{
    uint8_t bytes[6];
    if (!file.LoadData(reinterpret_cast<char*>(bytes), 6, kVMixOptions, 0)) return;
    const auto duration = static_cast<int16_t>(kelGetLE16(bytes + 2));
    const auto count = static_cast<int16_t>(kelGetLE16(bytes + 4));
    if (duration < 0 || duration > kBLVMixMaxDuration || count < 0 || count > kBLMaxGroups) return;
    BLVMixSettings read;
    read.styles = kelGetLE16(bytes);
    read.duration = duration;
    for (int16_t i = 0; i < count; ++i) {
        char name[kBLNameSize] = {};
        if (!file.LoadData(name, kBLNameSize, kVMixLeftOut, i)) return;
        name[kBLNameSize - 1] = '\0';
        read.setGroup(name, false);
    }
    vmix = read;
}

bool saveVMix(KelResFile& file, const BLVMixSettings& vmix)
{
    uint8_t bytes[6];
    kelPutLE16(bytes, vmix.styles);
    kelPutLE16(bytes + 2, static_cast<uint16_t>(vmix.duration));
    kelPutLE16(bytes + 4, static_cast<uint16_t>(vmix.leftOutCount));
    bool ok = file.SaveData(reinterpret_cast<const char*>(bytes), 6, kVMixOptions, 0);
    for (int16_t i = 0; i < vmix.leftOutCount; ++i) {
        char name[kBLNameSize] = {};
        std::memcpy(name, vmix.leftOut[i], kBLNameSize - 1);
        ok = file.SaveData(name, kBLNameSize, kVMixLeftOut, i) && ok;
    }
    return ok;
}

// An identity is read only as the link makes them: 32 lowercase
// hexadecimal digits.
bool loadIdentity(KelResFile& file, long type, int16_t id, char* out)
{
    char bytes[kNetIdentityBytes];
    if (!file.LoadData(bytes, kNetIdentityBytes, type, id)) return false;
    for (char c : bytes)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    std::memcpy(out, bytes, kNetIdentityBytes);
    out[kNetIdentityBytes] = '\0';
    return true;
}

}  // namespace

void blPrefsClass::loadNetIdentities(KelResFile& file)
{
    loadIdentity(file, kNetIdentity, 0, netIdentity);
    int16_t count = 0;
    for (int16_t i = 0; i < kBLNetTrustedMax; ++i)
        if (loadIdentity(file, kNetTrusted, i, netTrusted[count])) ++count;
    netTrustedCount = count;
}

// Taken whole or not at all: a mode out of range or an address without its
// end or with control characters leaves the link's settings as they were.
void blPrefsClass::loadNetLink(KelResFile& file)
{
    uint8_t bytes[kNetLinkSize];
    if (!file.LoadData(reinterpret_cast<char*>(bytes), kNetLinkSize, kNetLink, 0)) return;
    const int16_t mode = static_cast<int16_t>(kelGetLE16(bytes));
    const uint16_t port = kelGetLE16(bytes + 2);
    const uint8_t* address = bytes + 4;
    if (mode < 0 || mode > 2) return;
    int length = 0;
    while (length < kBLNetAddressSize && address[length] != 0) {
        if (address[length] < 0x20 || address[length] == 0x7F) return;
        ++length;
    }
    if (length == kBLNetAddressSize) return;
    netMode = mode;
    netPort = port;
    std::memcpy(netAddress, address, kBLNetAddressSize);
}

// A card's name whole, without a zero or a control character in it, and a
// period on offer; anything else leaves the default.
void blPrefsClass::loadOutput(KelResFile& file)
{
    if (const long n = file.GetDataLen(kOutputCard, 0); n > 0 && n < kBLOutputCardSize) {
        char card[kBLOutputCardSize] = {};
        if (file.LoadData(card, n, kOutputCard, 0) &&
            std::none_of(card, card + n, [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            std::memcpy(outputCard, card, sizeof card);
    }
    int16_t frames = 0;
    if (loadShort(file, kOutputFrames, 0, 1, 4096, &frames) &&
        std::find(std::begin(kBLOutputFrames), std::end(kBLOutputFrames), frames) !=
            std::end(kBLOutputFrames))
        outputFrames = frames;
}

void blPrefsClass::loadMidiBindings(KelResFile& file)
{
    const long n = file.GetDataLen(kMidiBindings, 0);
    if (n <= 0 || n > kMidiBindingsBytes) return;
    std::string text(static_cast<size_t>(n), '\0');
    if (!file.LoadData(text.data(), n, kMidiBindings, 0)) return;
    int badLine = 0;
    if (!midiBindings.parse(text, badLine))
        plat::logLine(std::string(fileName) + ": the MIDI bindings are damaged at line " +
                      std::to_string(badLine) + "; none were taken");
}

// A name of 1 to 255 characters, none of them a control character, or none.
static void loadName(KelResFile& file, long type, char (&name)[kBLMidiPortSize])
{
    const long n = file.GetDataLen(type, 0);
    if (n <= 0 || n >= kBLMidiPortSize) return;
    char read[kBLMidiPortSize] = {};
    if (file.LoadData(read, n, type, 0) &&
        std::none_of(read, read + n, [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        std::memcpy(name, read, sizeof read);
}

void blPrefsClass::loadMidi(KelResFile& file)
{
    loadShort(file, kMidiClockOut, 0, 0, 1, &midiClockOut);
    loadShort(file, kMidiClockIn, 0, kBLMidiOff, kBLMidiNamedPort, &midiClockIn);
    loadShort(file, kMidiControl, 0, kBLMidiOff, kBLMidiNamedPort, &midiControl);
    loadName(file, kMidiClockInPort, midiClockInPort);
    loadName(file, kMidiControlPort, midiControlPort);
}

namespace {

bool midiFrom(int16_t from, const char* name, std::string& port)
{
    port = from == kBLMidiNamedPort ? name : "";
    return from == kBLMidiOwnPort || (from == kBLMidiNamedPort && *name);
}

}  // namespace

bool blPrefsClass::midiControlFrom(std::string& port) const
{
    return midiFrom(midiControl, midiControlPort, port);
}
bool blPrefsClass::midiClockFrom(std::string& port) const
{
    return midiFrom(midiClockIn, midiClockInPort, port);
}

blPrefsClass::blPrefsClass()
    : exportFormat(kelQtFormatNative),
      mixTarget(0),
      interfaceColor(0),
      normalize(0),
      resampleQuality(0),
      tooltips(1),
      netMode(0),
      netPort(kBLNetDefaultPort),
      netAddress(),
      netIdentity(),
      netTrusted(),
      netTrustedCount(0),
      keyLock(0),
      link(0),
      launchGrid(0),
      outputCard(),
      outputFrames(kBLOutputFramesDefault),
      stageSize(plat::kStageSizeDefault),
      jackTransport(0),
      oscPort(0),
      midiClockOut(0),
      midiClockIn(kBLMidiOff),
      midiClockInPort(),
      midiControl(kBLMidiOwnPort),
      midiControlPort(),
      documentFolder()
{
    kelQt_soundConvert_settingsDataInit(&exportSettings);
    for (int i = 0; i < kBLRandomLevels; ++i) randomLevels[i] = kDefaultLevels[i];
}

blPrefsClass::~blPrefsClass()
{
    kelQt_soundConvert_settingsDataDispose(&exportSettings);
}

void blPrefsClass::load()
{
    KelResFile file;
    file.openReadOnly = 1;
    if (!file.SetWorkName(fileName) || !file.Open()) return;

    uint8_t bytes[8];
    if (file.LoadData(reinterpret_cast<char*>(bytes), 8, kMainWindow, 0)) {
        mainWindow.left = static_cast<int16_t>(kelGetLE16(bytes));
        mainWindow.top = static_cast<int16_t>(kelGetLE16(bytes + 2));
        mainWindow.right = static_cast<int16_t>(kelGetLE16(bytes + 4));
        mainWindow.bottom = static_cast<int16_t>(kelGetLE16(bytes + 6));
    }
    if (file.LoadData(reinterpret_cast<char*>(bytes), 4, kExportFormat, 0)) exportFormat = kelGetLE32(bytes);
    for (int i = 0; i < kBLRandomLevels; ++i) loadShort(file, kRandomLevel, i, 3, 7, &randomLevels[i]);
    loadShort(file, kMixTarget, 0, 0, 1, &mixTarget);
    loadShort(file, kInterfaceColor, 0, 0, 7, &interfaceColor);
    loadShort(file, kNormalize, 0, 0, 1, &normalize);
    loadShort(file, kResampleQuality, 0, 0, 1, &resampleQuality);
    loadVMix(file, vmix);
    loadShort(file, kTooltips, 0, 0, 1, &tooltips);
    loadNetLink(file);
    loadNetIdentities(file);
    loadShort(file, kKeyLock, 0, 0, 1, &keyLock);
    loadShort(file, kLink, 0, 0, 1, &link);
    loadShort(file, kLaunchGrid, 0, 0, kLaunchGridChoices - 1, &launchGrid);
    loadOutput(file);
    loadMidiBindings(file);
    loadMidi(file);
    loadShort(file, kJackTransport, 0, 0, 1, &jackTransport);
    if (file.LoadData(reinterpret_cast<char*>(bytes), 2, kOscPort, 0)) oscPort = kelGetLE16(bytes);
    if (int16_t size = 0; loadShort(file, kStageSize, 0, 0, 32767, &size) && plat::isStageSize(size))
        stageSize = size;
    // A folder whole, without a zero or a control character in it, or none.
    if (const long n = file.GetDataLen(kDocumentFolder, 0); n > 0 && n <= kKelPathMax) {
        char folder[kKelPathMax + 1] = {};
        if (file.LoadData(folder, n, kDocumentFolder, 0) &&
            std::none_of(folder, folder + n, [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            std::memcpy(documentFolder, folder, sizeof folder);
    }

    if (file.LoadData(reinterpret_cast<char*>(bytes), 4, kSettingsLength, 0)) {
        const int32_t length = static_cast<int32_t>(kelGetLE32(bytes));
        // The block must be there whole; a length the service refuses, or
        // data of another length, leaves no block.
        if (!kelQt_soundConvert_settingsDataAllocate(&exportSettings, length) ||
            !file.LoadData(reinterpret_cast<char*>(exportSettings.data), length, kSettingsData, 0))
            kelQt_soundConvert_settingsDataDispose(&exportSettings);
    }
    file.Close();
}

bool blPrefsClass::save()
{
    KEL_FileSetDocTypeCreator(kelFourCC("pref"), kelFourCC("ovBl"));
    // Rebuilt, never rewritten in place: the old file's items of other
    // builds are carried over into a fresh container, so entries that
    // overlap or point anywhere cannot take the new values with them.
    KelResFile old;
    old.openReadOnly = 1;
    const bool oldOpen = old.SetWorkName(fileName) && old.Open();
    if (!oldOpen && !old.IsDamaged() && KEL_FileExists(fileName))
        return false;  // there, but not ours to read

    KelSaveFile out;
    KelResFile file;
    if (!out.begin(fileName) || !file.CreateOn(&out.file)) return false;
    uint8_t rect[8];
    kelPutLE16(rect, static_cast<uint16_t>(mainWindow.left));
    kelPutLE16(rect + 2, static_cast<uint16_t>(mainWindow.top));
    kelPutLE16(rect + 4, static_cast<uint16_t>(mainWindow.right));
    kelPutLE16(rect + 6, static_cast<uint16_t>(mainWindow.bottom));
    bool ok = file.SaveData(reinterpret_cast<const char*>(rect), 8, kMainWindow, 0);
    ok = saveLong(file, kExportFormat, exportFormat) && ok;
    const bool hasBlock = exportSettings.data && exportSettings.length > 0;
    const int32_t length = hasBlock ? exportSettings.length : 0;
    ok = saveLong(file, kSettingsLength, static_cast<uint32_t>(length)) && ok;
    ok = file.SaveData(reinterpret_cast<const char*>(exportSettings.data), length, kSettingsData, 0) && ok;
    for (int i = 0; i < kBLRandomLevels; ++i) ok = saveShort(file, kRandomLevel, i, randomLevels[i]) && ok;
    ok = saveShort(file, kMixTarget, 0, mixTarget) && ok;
    ok = saveShort(file, kInterfaceColor, 0, interfaceColor) && ok;
    ok = saveShort(file, kNormalize, 0, normalize) && ok;
    ok = saveShort(file, kResampleQuality, 0, resampleQuality) && ok;
    ok = saveVMix(file, vmix) && ok;
    ok = saveShort(file, kTooltips, 0, tooltips) && ok;
    ok = saveShort(file, kKeyLock, 0, keyLock) && ok;
    ok = saveShort(file, kLink, 0, link) && ok;
    ok = saveShort(file, kLaunchGrid, 0, launchGrid) && ok;
    if (const size_t n = std::strlen(outputCard); n > 0)
        ok = file.SaveData(outputCard, static_cast<long>(n), kOutputCard, 0) && ok;
    ok = saveShort(file, kOutputFrames, 0, outputFrames) && ok;
    ok = saveShort(file, kMidiClockOut, 0, midiClockOut) && ok;
    ok = saveShort(file, kMidiClockIn, 0, midiClockIn) && ok;
    ok = saveShort(file, kMidiControl, 0, midiControl) && ok;
    for (auto [name, type] :
         {std::pair{midiClockInPort, kMidiClockInPort}, std::pair{midiControlPort, kMidiControlPort}})
        if (const size_t n = std::strlen(name); n > 0)
            ok = file.SaveData(name, static_cast<long>(n), type, 0) && ok;
    ok = saveShort(file, kJackTransport, 0, jackTransport) && ok;
    ok = saveShort(file, kOscPort, 0, static_cast<int16_t>(oscPort)) && ok;
    if (stageSize >= 0) ok = saveShort(file, kStageSize, 0, stageSize) && ok;
    if (const size_t n = std::strlen(documentFolder); n > 0)
        ok = file.SaveData(documentFolder, static_cast<long>(n), kDocumentFolder, 0) && ok;
    if (!midiBindings.empty()) {
        const std::string bindings = midiBindings.text();
        ok = file.SaveData(bindings.data(), static_cast<long>(bindings.size()), kMidiBindings, 0) && ok;
    }
    uint8_t link[kNetLinkSize] = {};
    kelPutLE16(link, static_cast<uint16_t>(netMode));
    kelPutLE16(link + 2, netPort);
    for (int i = 0; i < kBLNetAddressSize - 1 && netAddress[i]; ++i)
        link[4 + i] = static_cast<uint8_t>(netAddress[i]);
    ok = file.SaveData(reinterpret_cast<const char*>(link), kNetLinkSize, kNetLink, 0) && ok;
    if (std::strlen(netIdentity) == static_cast<size_t>(kNetIdentityBytes))
        ok = file.SaveData(netIdentity, kNetIdentityBytes, kNetIdentity, 0) && ok;
    for (int16_t i = 0; i < netTrustedCount && i < kBLNetTrustedMax; ++i)
        if (std::strlen(netTrusted[i]) == static_cast<size_t>(kNetIdentityBytes))
            ok = file.SaveData(netTrusted[i], kNetIdentityBytes, kNetTrusted, i) && ok;
    // Then what other builds keep, as far as it can be read and there is room.
    for (int16_t i = 0; oldOpen && i < old.GetElemsCount(); ++i) {
        kelResElem e;
        // An item written above is never overwritten by its old value.
        if (!old.GetElem(i, &e) || isOwnItem(e.type) || file.IsDataAvailable(e.type, e.id)) continue;
        char* data = nullptr;
        if (!old.GetData(&data, e.type, e.id)) continue;
        file.SaveData(data, e.length, e.type, e.id);
        void* p = data;
        KEL_DisposePtr(&p);
    }
    old.Close();
    ok = file.Close() && ok;
    if (!ok) return false;

    if (!oldOpen && old.IsDamaged()) {
        // What a power loss or a full disk left is kept for a look, not
        // failed on for ever.
        const std::string aside = std::string(fileName) + kBLPrefsDamagedSuffix;
        KEL_FileCopy(fileName, aside.c_str());
        plat::logLine(std::string(fileName) + " was damaged (" + old.GetOpenError() +
                      "); it was set aside as " + aside + " and written afresh");
    }
    return out.commit();
}

bool blPrefsClass::saveTelling()
{
    plat::clearWriteError();
    if (save()) return true;
    BL_NotifyNames(kBLMsgPrefsNotSaved, 0, {BL_WriteReasonText(plat::lastWriteError())});
    return false;
}
