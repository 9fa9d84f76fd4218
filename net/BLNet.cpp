#include "net/BLNet.h"

#include <cstdio>

#include "library/BLGroove.h"

BLNet::BLNet() { setFullUse(); }

void BLNet::setFullUse()
{
    for (uint8_t& flag : sendFlags) flag = 1;
}

bool BLNet::close()
{
    setFullUse();
    return kelTalk::close();
}

bool BLNet::trackSends(int16_t track) const
{
    return track >= 0 && track < 8 && sendFlags[track];
}

void BLNet::sendMessage() { send(message); }

void BLNet::sendSample(int16_t track, int16_t group, int16_t slot)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d %0d", 1, track, group, slot);
    sendMessage();
}

void BLNet::sendVolume(int16_t track, int16_t volume)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 2, track, volume);
    sendMessage();
}

void BLNet::sendPan(int16_t track, int16_t pan)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 3, track, pan);
    sendMessage();
}

void BLNet::sendUse(int16_t track, int16_t use)
{
    if (!trackSends(track)) return;
    std::snprintf(message, sizeof message, "%0d %0d %0d", 5, track, use);
    sendMessage();
}

void BLNet::sendPlay()
{
    std::snprintf(message, sizeof message, "%0d", 6);
    sendMessage();
}

void BLNet::sendStop()
{
    std::snprintf(message, sizeof message, "%0d", 7);
    sendMessage();
}

void BLNet::sendSong(const char* name)
{
    std::snprintf(message, sizeof message, "%0d %s", 9, name ? name : "");
    sendMessage();
}

void BLNet::sendGroove(const BLGroove& groove)
{
    for (int16_t track = 0; track < kBLEngineTracks; ++track) {
        const BLTrack& t = groove.tracks[track];
        sendSample(track, t.group, t.slot);
        sendVolume(track, static_cast<int16_t>(t.volume));
        sendPan(track, t.pan);
    }
}

void BLNet::sendSongLoaded(const char* name, const BLGroove& groove)
{
    sendSong(name);
    sendStop();
    sendGroove(groove);
    sendPlay();
}
