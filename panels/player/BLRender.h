// beatloom --render DOC.bld -o OUT: the disk mix of a groove document's
// sequence without the interface. The document's song is opened from the
// program's library, the mix written as the groove panel writes it, and
// progress shown as one bar on a terminal (nothing per step otherwise).
#pragma once

#include <cstdio>
#include <string>

struct BLRenderOptions {
    std::string document;  // system paths, absolute
    std::string output;
    bool stems = false;
    std::string format;      // wav, wav24, aiff, flac, ogg, opus, mp3; empty: the preferences'
    int normalize = -1;      // 0, 1; -1: the preferences'
    std::string quality;     // classic, high; empty: the preferences'
    int keyLock = -1;        // 1 on, 0 off, -1 the preferences'
    bool overwrite = false;  // stems: replace group files already in the folder
    // Through the live mixing chain run offline (the sound the program plays,
    // effects and key lock's real-time stretcher included) instead of the
    // quality mixdown.
    bool live = false;
    // The document's take of this number (from 1) instead of its sequence,
    // through the live chain as it was heard; 0: the sequence.
    int take = 0;
    // Each percent done as a line "N%" on err, where no terminal shows the bar.
    bool progress = false;
};

// The exit code: 0 written; 1 the document, its song, the target or the
// mix failed (its reason and what was kept on err); 2 a bad option; 130
// stopped by a signal (what was written whole on err).
int BLRender_Main(const BLRenderOptions& options, const char* programFolder, FILE* out, FILE* err);
