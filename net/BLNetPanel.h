// The network panel: the link's mode (off, connect, listen), the address
// and port, each track's use on the link, and where the link stands.
//
// Items (layout 9): 0 background, 1 mode, 2..9 tracks 0..7, 10 title,
// 11 close, 12 address, 13 port, 14 status, 15 second status line, 20 the
// tick that lets the linked player in without asking, 21 its words.
// Layout 19: 50 Ableton Link's switch, 51 its caption, 52 the peers, 53 the
// session's tempo.
#pragma once

#include <cstdint>

#include "ui/PWPanel.h"

class BLLinkSync;
class BLNet;

namespace netitem {
constexpr int16_t mode = 1;
constexpr int16_t firstTrack = 2;
constexpr int16_t close = 11;
constexpr int16_t address = 12;
constexpr int16_t port = 13;
constexpr int16_t status = 14;
constexpr int16_t detail = 15;
constexpr int16_t trust = 20;
constexpr int16_t trustWords = 21;
constexpr int16_t link = 50;
constexpr int16_t linkPeers = 52;
constexpr int16_t linkTempo = 53;
}  // namespace netitem

// Message numbers of the panel's texts.
enum : int16_t {
    kBLMsgNetAsk = 140,
    kBLMsgNetOff = 141,
    kBLMsgNetListening = 142,
    kBLMsgNetAsking = 143,
    kBLMsgNetConnecting = 144,
    kBLMsgNetWaiting = 145,
    kBLMsgNetLinked = 146,
    kBLMsgNetLost = 147,
    kBLMsgNetCannotListen = 148,
    kBLMsgNetNoAddress = 149,
    kBLMsgNetDropped = 150,
    kBLMsgNetSongMissing = 151,
    kBLMsgNetLostListening = 152,
    kBLMsgNetTracks = 153,
    kBLMsgNetCannotConnect = 154,
    kBLMsgNetBusy = 155,
    kBLMsgNetRefused = 156,
    kBLMsgNetSilent = 157,
    kBLMsgNetTrust = 158,
    kBLMsgNetSongKept = 159,
    kBLMsgNetSentAwayAgain = 567,
    kBLMsgLinkOff = 410,
    kBLMsgLinkNoPeer = 411,
    kBLMsgLinkOnePeer = 412,
    kBLMsgLinkPeers = 413,
    kBLMsgLinkTempo = 414,
    kBLMsgLinkRefused = 415,
    kBLMsgLinkHalfTime = 416,
    kBLMsgLinkDoubleTime = 417,
};

class BLNetPanel : public PWPanelClass {
public:
    // The panel steers `link` and `ableton` (the groove controller's).
    explicit BLNetPanel(BLNet* link, BLLinkSync* ableton = nullptr);
    ~BLNetPanel() override;

    void onItem() override;
    void onKey() override;
    void onClick() override;
    void onIdle() override;
    void beforeShow() override;
    void beforeHide() override;

    // Shows the link as it stands now.
    void refresh();
    // Ends typing into the address or the port, keeping what was typed.
    void endEditing();
    bool editing() const { return editingField != -1; }

    int16_t mode = 0;
    int16_t useState[8] = {};
    // The texts the status lines show, kept for tests.
    char statusText[160] = {};
    char detailText[160] = {};
    char linkPeersText[80] = {};
    char linkTempoText[160] = {};

private:
    void startEditing(int16_t item);
    void showFields();
    void setText(int16_t item, const char* text);
    void showTrust();
    void showLink();

    BLNet* link;
    BLLinkSync* ableton;
    int16_t editingField = -1;
    uint32_t shownSerial = 0;
    uint32_t shownLinkSerial = 0;
    long shownDropped = -1;
};

// The network panel once created; null before.
extern BLNetPanel* blNetPanel;
// A message of the table with its first "%s" replaced by `value` (literally).
void BLNet_messageWith(int16_t message, const char* value, char* out, size_t size);
