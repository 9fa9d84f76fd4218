// The readable text form of a layout: what the skin's layout sources are
// written in and what tools print a stored layout as.
//
//   layout 3                      # resource id
//   panel 2 base 0                # optional: panel index, first control number
//   stage 100 100                 # optional: where the panel first shows
//   design 0 0 640 480
//   item 1 close                  # index, then an optional label
//     kind button                 # number or name (aux 0)
//     state active                # hidden, shown, active (or a number)
//     anchor top-right            # layout anchor; self; stretch: names, or
//                                 # numbers (0..8; others mean the point 0,0)
//     self top-right
//     offset -8 8
//     frame 20 20                 # frame size; or: size CAST (width 0)
//     images - close.up close.down   # up to ten casts by name or id; - for none
//     aux 9 0                     # any auxiliary value (numbers or cast names)
//     schemes synth.back          # aux 1..10: the colour-scheme casts NAME.0 ...
//     source 0                    # aux 9;  help 3: aux 7
//     tip "Closes the panel."     # help text for this control
//
// '#' followed by a blank (or at the start of a line) begins a comment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/kelLayouts.h"

// Splits a source line into tokens: blanks separate, double quotes group
// (\" and \\ inside), comments are dropped. False for an unclosed quote.
bool kelSourceTokens(const std::string& line, std::vector<std::string>& tokens);

// Control kinds by name ("button" 33, "backpane" 19 ...); -1 when unknown.
int16_t kelKindFromName(const std::string& name);
const char* kelKindName(int16_t kind);               // null for a kind without a name
int16_t kelAnchorFromName(const std::string& name);  // -1 when unknown
const char* kelAnchorName(int16_t anchor);

struct kelLayoutTip {
    int16_t item = 0;
    std::string text;
};

struct kelLayoutSource {
    int32_t id = 0;
    int16_t panel = -1;
    int16_t base = 0;
    kelPoint stage;
    kelLayoutData data;
    std::vector<std::string> labels;  // per item, may be empty
    std::vector<kelLayoutTip> tips;
};

// Cast name to id; false for a name that names no cast.
using kelCastResolver = std::function<bool(const std::string& name, int32_t& id)>;
// Cast id to name; empty for an id without a name.
using kelCastNamer = std::function<std::string(int32_t id)>;

// Parses a layout source. On failure `error` holds "line N: what".
bool kelLayoutFromText(const std::string& text, const kelCastResolver& resolve, kelLayoutSource& out,
                       std::string& error);
// Prints a stored layout in the same form (cast names where known).
std::string kelLayoutToText(int32_t id, const kelLayoutData& data, const kelCastNamer& nameOf);
