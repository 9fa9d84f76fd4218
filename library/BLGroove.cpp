#include "library/BLGroove.h"

#include <algorithm>

int16_t BLSequence::grooveIDtoIndex(int16_t id) const
{
    for (int16_t i = 0; i < count && i < kBLMaxGrooves; ++i)
        if (grooves[i].id == static_cast<uint16_t>(id)) return i;
    return -1;
}

bool BLSequence::sameAs(const BLSequence& other) const
{
    if (count != other.count || length != other.length || userLength != other.userLength) return false;
    for (int16_t i = 0; i < count && i < kBLMaxGrooves; ++i)
        if (!(grooves[i] == other.grooves[i])) return false;
    for (int16_t i = 0; i < length && i < kBLMaxSequence; ++i)
        if (entries[i] != other.entries[i]) return false;
    return true;
}

void BLSequence::stretchToUser()
{
    userLength = std::clamp<int16_t>(userLength, 0, kBLMaxSequence);
    if (userLength == 0) {
        userLength = length;
        return;
    }
    const int n = std::min<int>(count, kBLMaxGrooves);
    if (n <= 0) {
        length = 0;
        return;
    }
    length = userLength;
    for (int i = 0; i < length; ++i) entries[i] = grooves[i % n].id;
}
