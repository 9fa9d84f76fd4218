// The start-up splash: cast 742 in a borderless window of its own while the
// program starts.
#pragma once

class KelCasts;

// The splash cast; missing, start-up goes on without a splash.
constexpr long kBLSplashCast = 742;

void BL_PopupInfo_Open(KelCasts* casts);
void BL_PopupInfo_Close();
