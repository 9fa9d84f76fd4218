// LV2 plugins through lilv: the plugins installed (the folders LV2_PATH
// names, else lilv's usual ones) found once on a thread of their own, and
// instances of them.
//
// Threads: discovery runs on its own thread, started by Lv2_Discover; the
// catalogue, instantiation, activation, state and freeing run on any thread
// but the audio thread, one at a time (the host's world is behind a lock).
// An instance's run() and its control values belong to the audio thread once
// it has the instance; saveState() may run beside it, as LV2 allows.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace plat {

// One control input of a plugin, its range already in the plugin's units
// (a range given in multiples of the sample rate is given here at 44100 Hz).
struct Lv2Control {
    int port = 0;  // the plugin's own port index
    std::string symbol;
    std::string name;
    float minimum = 0.0f;
    float maximum = 1.0f;
    float deflt = 0.0f;
    bool logarithmic = false;
    bool integer = false;
    bool toggled = false;
    bool enumeration = false;
    bool sampleRate = false;                            // the range scales with the rate the plugin runs at
    std::vector<std::pair<float, std::string>> points;  // named values, by value
};

struct Lv2Plugin {
    std::string uri;
    std::string name;
    int audioIn = 0;
    int audioOut = 0;
    std::vector<Lv2Control> controls;
    bool hasState = false;  // it keeps a state of its own (LV2 state)
    // Empty when this host can run it; else why not, in plain words.
    std::string unusable;
};

// Starts looking for the installed plugins; later calls do nothing.
void Lv2_Discover();
// Every plugin found, usable or not, in the order of their URIs; waits for
// the discovery (starting it when nobody did).
const std::vector<Lv2Plugin>& Lv2_Plugins();
// The plugin of that URI, null when none is installed.
const Lv2Plugin* Lv2_Find(const std::string& uri);

// Whether the text is a state this plugin saved (without starting it).
bool Lv2_StateFits(const Lv2Plugin& plugin, const std::string& turtle);

class Lv2Instance {
public:
    // Instantiated at `rate` for blocks of at most maxBlock frames and
    // activated, its controls at their defaults; null, with the reason in
    // `why`, when the plugin cannot be had.
    static std::unique_ptr<Lv2Instance> make(const Lv2Plugin& plugin, double rate, int maxBlock,
                                             std::string* why);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    const Lv2Plugin& plugin() const { return *plugin_; }
    // The control inputs' values, in the order of plugin().controls.
    float* controls() { return controls_.data(); }
    // Runs n frames (at most maxBlock): in holds audioIn channels, out
    // audioOut; they may be the same buffers. Allocates nothing.
    void run(const float* const* in, float* const* out, int n);
    // Back to silence, as just started (the plugin restarted); not while it runs.
    void reset();
    // The plugin's own state as text, "" when it keeps none or saving failed.
    std::string saveState();
    // Puts a state saved by saveState back; false (nothing changed) when the
    // text is no state this plugin can take. Before the instance runs.
    bool restoreState(const std::string& text);

private:
    Lv2Instance() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    const Lv2Plugin* plugin_ = nullptr;
    std::vector<float> controls_;
};

}  // namespace plat
