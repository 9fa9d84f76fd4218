#include "net/BLNetPanel.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "net/BLLinkSync.h"
#include "net/BLNet.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace ni = netitem;

namespace {
// The panel's place on the stage.
constexpr int16_t kHomeX = 100;
constexpr int16_t kHomeY = 200;
}  // namespace

BLNetPanel* blNetPanel = nullptr;

void BLNet_messageWith(int16_t message, const char* value, char* out, size_t size)
{
    if (size == 0) return;
    std::string text = blIntl.message(message).c_str();
    const size_t at = text.find("%s");
    // The table is 8-bit; a song's or a player's name may come in UTF-8.
    if (at != std::string::npos) text.replace(at, 2, KEL_NameToLatin1(value ? value : ""));
    std::snprintf(out, size, "%s", text.c_str());
}

BLNetPanel::BLNetPanel(BLNet* l, BLLinkSync* a) : link(l), ableton(a)
{
    blNetPanel = this;
}

BLNetPanel::~BLNetPanel()
{
    if (blNetPanel == this) blNetPanel = nullptr;
    if (PWScreen.modalPanel == screenIndex && screenIndex != -1) PWScreen.modalPanel = -1;
}

void BLNetPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) c->setValue(const_cast<char*>(text ? text : ""));
}

void BLNetPanel::onItem()
{
    if (liveChange) return;
    const int16_t item = hitItem;
    if (item != ni::address && item != ni::port) endEditing();
    if (item == ni::mode) {
        // Off, connect, listen, off...
        mode = static_cast<int16_t>((mode + 1) % 3);
        if (kelPanelControl* c = control(ni::mode)) c->setValue(static_cast<int16_t>(mode + 1));
        blPrefs.netMode = mode;
        if (link) {
            link->mode = mode;
            if (mode == kBLNetOff)
                link->close();
            else if (mode == kBLNetConnect)
                link->startConnect();
            else
                link->startListen();
        }
        refresh();
        return;
    }
    if (item >= ni::firstTrack && item < ni::firstTrack + 8) {
        const int16_t track = static_cast<int16_t>(item - ni::firstTrack);
        useState[track] = static_cast<int16_t>((useState[track] + 1) % 3);
        if (kelPanelControl* c = control(item)) c->setValue(static_cast<int16_t>(useState[track] + 1));
        if (link) link->setUse(track, useState[track]);
        return;
    }
    if (item == ni::address || item == ni::port) {
        startEditing(item);
        return;
    }
    if (item == ni::trust) {
        if (link) link->setTrusted(!link->trusted());
        refresh();
        return;
    }
    if (item == ni::link) {
        if (ableton) ableton->join(!ableton->joined());
        showLink();
        return;
    }
    if (item == ni::close) PWScreen.hide(screenIndex);
}

void BLNetPanel::onClick()
{
    // A click on the panel's own surface ends the typing.
    endEditing();
}

void BLNetPanel::startEditing(int16_t item)
{
    editingField = item;
    select(item);
    // Keys come here while the address or port is typed.
    if (screenIndex != -1) PWScreen.modalPanel = screenIndex;
}

void BLNetPanel::endEditing()
{
    if (editingField == -1) return;
    editingField = -1;
    select(-1);
    if (PWScreen.modalPanel == screenIndex) PWScreen.modalPanel = -1;
    char text[256] = {};
    if (kelPanelControl* c = control(ni::address)) {
        c->getValue(text);
        // Blanks around an address are a slip of the keys.
        std::string a = text;
        const size_t first = a.find_first_not_of(' ');
        a = first == std::string::npos ? std::string() : a.substr(first, a.find_last_not_of(' ') - first + 1);
        std::snprintf(blPrefs.netAddress, sizeof blPrefs.netAddress, "%s", a.c_str());
    }
    if (kelPanelControl* c = control(ni::port)) {
        text[0] = '\0';
        c->getValue(text);
        const long p = std::strtol(text, nullptr, 10);
        if (text[0] && p >= 0 && p <= 65535) blPrefs.netPort = static_cast<uint16_t>(p);
    }
    showFields();
    // A changed address or port takes effect at once in the mode shown.
    if (link && mode == kBLNetConnect)
        link->startConnect();
    else if (link && mode == kBLNetListen)
        link->startListen();
    refresh();
}

void BLNetPanel::onKey()
{
    if (editingField == -1) return;
    const uint8_t c = kelGlo.keyChar;
    if (kelGlo.what == kelKeyUp) return;
    if (c == kelKeyReturn || c == '\t' || kelGlo.specialKey == 20) {
        endEditing();
        return;
    }
    if (kelPanelControl* field = control(editingField)) field->key();
}

void BLNetPanel::showFields()
{
    char text[16];
    setText(ni::address, blPrefs.netAddress);
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(blPrefs.netPort));
    setText(ni::port, text);
}

void BLNetPanel::beforeShow()
{
    // Shown where it belongs on the stage unless the user put it elsewhere on it.
    if (screenIndex != -1 && !PWScreen.stage.contains(background()->rect))
        PWScreen.setPanelPosition(screenIndex, kHomeX, kHomeY);
    if (link) mode = link->mode;
    if (!editing()) showFields();
    refresh();
    showLink();
}

void BLNetPanel::beforeHide()
{
    endEditing();
}

void BLNetPanel::onIdle()
{
    if (!visible) return;
    if (ableton && ableton->serial != shownLinkSerial) showLink();
    if (!link) return;
    if (link->serial != shownSerial || link->dropped() != shownDropped) refresh();
}

// Ableton Link: the switch, how many peers, the session's tempo (or that
// the song's window refused it).
void BLNetPanel::showLink()
{
    if (!ableton) return;
    shownLinkSerial = ableton->serial;
    const bool on = ableton->joined();
    if (kelPanelControl* c = control(ni::link)) c->setValue(static_cast<int16_t>(on ? 2 : 1));
    char number[32];
    linkPeersText[0] = '\0';
    linkTempoText[0] = '\0';
    if (!on) {
        BLNet_messageWith(kBLMsgLinkOff, "", linkTempoText, sizeof linkTempoText);
    } else {
        const size_t peers = ableton->peers();
        std::snprintf(number, sizeof number, "%zu", peers);
        BLNet_messageWith(peers == 0   ? kBLMsgLinkNoPeer
                          : peers == 1 ? kBLMsgLinkOnePeer
                                       : kBLMsgLinkPeers,
                          number, linkPeersText, sizeof linkPeersText);
        const double refused = ableton->refusedTempo();
        std::snprintf(number, sizeof number, "%.1f", refused > 0 ? refused : ableton->sessionTempo());
        const double factor = ableton->timeFactor();
        BLNet_messageWith(refused > 0    ? kBLMsgLinkRefused
                          : factor < 1.0 ? kBLMsgLinkHalfTime
                          : factor > 1.0 ? kBLMsgLinkDoubleTime
                                         : kBLMsgLinkTempo,
                          number, linkTempoText, sizeof linkTempoText);
    }
    setText(ni::linkPeers, linkPeersText);
    setText(ni::linkTempo, linkTempoText);
}

void BLNetPanel::refresh()
{
    if (!link) return;
    shownSerial = link->serial;
    shownDropped = link->dropped();
    mode = link->mode;
    if (kelPanelControl* c = control(ni::mode)) c->setValue(static_cast<int16_t>(mode + 1));
    for (int16_t t = 0; t < 8; ++t) {
        useState[t] = link->use[t];
        if (kelPanelControl* c = control(static_cast<int16_t>(ni::firstTrack + t)))
            c->setValue(static_cast<int16_t>(useState[t] + 1));
    }
    char where[96] = {};
    using S = BLNet::Status;
    int16_t message = kBLMsgNetOff;
    std::string value;
    switch (link->status) {
        case S::Off: message = kBLMsgNetOff; break;
        case S::Listening:
            message = link->reason.empty() ? kBLMsgNetListening : kBLMsgNetLostListening;
            if (link->getLocalAddress(where)) value = where;
            if (!link->reason.empty()) value = link->peer;
            break;
        case S::Asking:
            message = kBLMsgNetAsking;
            value = link->peer;
            break;
        case S::Connecting:
            message = kBLMsgNetConnecting;
            value = std::string(blPrefs.netAddress) + ":" + std::to_string(blPrefs.netPort);
            break;
        case S::Waiting:
            message = kBLMsgNetWaiting;
            value = link->peer;
            break;
        case S::Linked:
            message = kBLMsgNetLinked;
            value = link->peer;
            break;
        case S::Lost:
            message = link->peer.empty() ? kBLMsgNetCannotConnect : kBLMsgNetLost;
            value = link->peer.empty()
                        ? std::string(blPrefs.netAddress) + ":" + std::to_string(blPrefs.netPort)
                        : link->peer;
            break;
        case S::Failed:
            message = link->mode == kBLNetConnect ? kBLMsgNetNoAddress : kBLMsgNetCannotListen;
            value = link->reason;
            break;
        case S::Busy:
            message = kBLMsgNetBusy;
            value = link->peer;
            break;
        case S::Refused:
            message = kBLMsgNetRefused;
            value = link->peer;
            break;
    }
    BLNet_messageWith(message, value.c_str(), statusText, sizeof statusText);
    setText(ni::status, statusText);

    detailText[0] = '\0';
    if (link->status == S::Linked && link->songMissing) {
        BLNet_messageWith(link->songHere ? kBLMsgNetSongKept : kBLMsgNetSongMissing, link->reason.c_str(),
                          detailText, sizeof detailText);
    } else if (link->status == S::Listening && !link->sentAwayAgain.empty()) {
        BLNet_messageWith(kBLMsgNetSentAwayAgain, link->sentAwayAgain.c_str(), detailText, sizeof detailText);
    } else if (link->silent && (link->status == S::Lost || link->status == S::Listening)) {
        BLNet_messageWith(kBLMsgNetSilent, link->peer.c_str(), detailText, sizeof detailText);
    } else if (link->status == S::Lost && !link->reason.empty()) {
        std::snprintf(detailText, sizeof detailText, "%s", link->reason.c_str());
    } else if (link->dropped() > 0) {
        BLNet_messageWith(kBLMsgNetDropped, std::to_string(link->dropped()).c_str(), detailText,
                          sizeof detailText);
    } else {
        BLNet_messageWith(kBLMsgNetTracks, "", detailText, sizeof detailText);
    }
    setText(ni::detail, detailText);
    showTrust();
}

// The tick is there while a player is linked to this listening side.
void BLNetPanel::showTrust()
{
    const bool shown = link && link->canTrust();
    for (int16_t item : {ni::trust, ni::trustWords}) {
        kelPanelControl* c = control(item);
        if (!c || !c->layout) continue;
        if (shown) {
            c->show();
        } else if (c->visible) {
            c->hide();
            const kelRect area = c->rect;
            if (visible) PWScreen.update(&area);
        }
    }
    if (!shown) return;
    if (kelPanelControl* c = control(ni::trust)) c->setValue(static_cast<int16_t>(link->trusted() ? 1 : 0));
    // The words read on from the tick.
    if (kelPanelControl* c = control(ni::trustWords)) c->setValue(kelPropTextAlign, int16_t{0});
    char words[160];
    BLNet_messageWith(kBLMsgNetTrust, "", words, sizeof words);
    setText(ni::trustWords, words);
}
