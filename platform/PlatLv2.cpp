#include "platform/PlatLv2.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/port-props/port-props.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace plat {

namespace {

constexpr double kCatalogueRate = 44100.0;
constexpr uint32_t kAtomCapacity = 8192;
const char* const kStateUri = "urn:beatloom:state";

// Names to numbers for the plugins (urid:map), one table for all of them.
class UridTable {
public:
    LV2_URID map(const char* uri)
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto [at, added] = ids_.emplace(uri, static_cast<LV2_URID>(names_.size() + 1));
        if (added) names_.push_back(uri);
        return at->second;
    }
    const char* unmap(LV2_URID id)
    {
        std::lock_guard<std::mutex> hold(lock_);
        return id >= 1 && id <= names_.size() ? names_[id - 1].c_str() : nullptr;
    }

private:
    std::mutex lock_;
    std::unordered_map<std::string, LV2_URID> ids_;
    // Kept whole for the table's life: unmap hands out their characters.
    std::vector<std::string> names_;
};

LV2_URID mapUri(LV2_URID_Map_Handle h, const char* uri)
{
    return uri ? static_cast<UridTable*>(h)->map(uri) : 0;
}

const char* unmapUri(LV2_URID_Unmap_Handle h, LV2_URID id)
{
    return static_cast<UridTable*>(h)->unmap(id);
}

// The features a plugin may require of this host.
const char* const kOffered[] = {
    LV2_URID__map,    LV2_URID__unmap,         LV2_OPTIONS__options, LV2_BUF_SIZE__boundedBlockLength,
    LV2_CORE__isLive, LV2_CORE__inPlaceBroken,
};

struct Host {
    std::mutex world;  // every use of w and of the plugins' data
    LilvWorld* w = nullptr;
    UridTable urids;
    LV2_URID_Map map{&urids, mapUri};
    LV2_URID_Unmap unmap{&urids, unmapUri};
    std::vector<Lv2Plugin> plugins;
    std::map<std::string, const LilvPlugin*> byUri;

    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool started = false;
    bool done = false;
};

// Never freed: plugins' code and instances may outlive every other static.
Host& host()
{
    static Host* h = new Host;
    return *h;
}

struct Nodes {
    LilvNode* audio;
    LilvNode* control;
    LilvNode* atom;
    LilvNode* cv;
    LilvNode* input;
    LilvNode* output;
    LilvNode* optional;
    LilvNode* enumeration;
    LilvNode* integer;
    LilvNode* toggled;
    LilvNode* logarithmic;
    LilvNode* sampleRate;
    LilvNode* stateInterface;
    LilvNode* inPlaceBroken;

    explicit Nodes(LilvWorld* w)
        : audio(lilv_new_uri(w, LV2_CORE__AudioPort)),
          control(lilv_new_uri(w, LV2_CORE__ControlPort)),
          atom(lilv_new_uri(w, LV2_ATOM__AtomPort)),
          cv(lilv_new_uri(w, LV2_CORE__CVPort)),
          input(lilv_new_uri(w, LV2_CORE__InputPort)),
          output(lilv_new_uri(w, LV2_CORE__OutputPort)),
          optional(lilv_new_uri(w, LV2_CORE__connectionOptional)),
          enumeration(lilv_new_uri(w, LV2_CORE__enumeration)),
          integer(lilv_new_uri(w, LV2_CORE__integer)),
          toggled(lilv_new_uri(w, LV2_CORE__toggled)),
          logarithmic(lilv_new_uri(w, LV2_PORT_PROPS__logarithmic)),
          sampleRate(lilv_new_uri(w, LV2_CORE__sampleRate)),
          stateInterface(lilv_new_uri(w, LV2_STATE__interface)),
          inPlaceBroken(lilv_new_uri(w, LV2_CORE__inPlaceBroken))
    {
    }
    ~Nodes()
    {
        for (LilvNode* n : {audio, control, atom, cv, input, output, optional, enumeration, integer, toggled,
                            logarithmic, sampleRate, stateInterface, inPlaceBroken})
            lilv_node_free(n);
    }
};

std::string text(const LilvNode* n)
{
    const char* s = n ? lilv_node_as_string(n) : nullptr;
    return s ? s : "";
}

float number(const LilvNode* n, float otherwise)
{
    if (!n || !(lilv_node_is_float(n) || lilv_node_is_int(n) || lilv_node_is_bool(n))) return otherwise;
    const float v = lilv_node_is_bool(n) ? (lilv_node_as_bool(n) ? 1.0f : 0.0f) : lilv_node_as_float(n);
    return v == v ? v : otherwise;
}

Lv2Control controlOf(const LilvPlugin* p, const LilvPort* port, uint32_t index, const Nodes& n)
{
    Lv2Control c;
    c.port = static_cast<int>(index);
    c.symbol = text(lilv_port_get_symbol(p, port));
    LilvNode* name = lilv_port_get_name(p, port);
    c.name = text(name);
    lilv_node_free(name);
    if (c.name.empty()) c.name = c.symbol;
    c.toggled = lilv_port_has_property(p, port, n.toggled);
    c.integer = lilv_port_has_property(p, port, n.integer);
    c.enumeration = lilv_port_has_property(p, port, n.enumeration);
    c.logarithmic = lilv_port_has_property(p, port, n.logarithmic);
    c.sampleRate = lilv_port_has_property(p, port, n.sampleRate);
    LilvNode* def = nullptr;
    LilvNode* min = nullptr;
    LilvNode* max = nullptr;
    lilv_port_get_range(p, port, &def, &min, &max);
    c.minimum = number(min, 0.0f);
    c.maximum = number(max, c.toggled ? 1.0f : std::max(c.minimum, 1.0f));
    if (c.maximum < c.minimum) std::swap(c.minimum, c.maximum);
    c.deflt = std::clamp(number(def, c.minimum), c.minimum, c.maximum);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    if (c.sampleRate) {
        c.minimum = static_cast<float>(c.minimum * kCatalogueRate);
        c.maximum = static_cast<float>(c.maximum * kCatalogueRate);
        c.deflt = static_cast<float>(c.deflt * kCatalogueRate);
    }
    // A logarithmic range must stay clear of zero to be one.
    if (c.logarithmic && !(c.minimum > 0.0f)) c.logarithmic = false;
    if (LilvScalePoints* points = lilv_port_get_scale_points(p, port)) {
        LILV_FOREACH(scale_points, i, points)
        {
            const LilvScalePoint* sp = lilv_scale_points_get(points, i);
            c.points.emplace_back(number(lilv_scale_point_get_value(sp), 0.0f),
                                  text(lilv_scale_point_get_label(sp)));
        }
        lilv_scale_points_free(points);
        std::sort(c.points.begin(), c.points.end());
    }
    if (c.enumeration && c.points.empty()) c.enumeration = false;
    return c;
}

Lv2Plugin describe(const LilvPlugin* p, const Nodes& n)
{
    Lv2Plugin d;
    d.uri = text(lilv_plugin_get_uri(p));
    LilvNode* name = lilv_plugin_get_name(p);
    d.name = text(name);
    lilv_node_free(name);
    if (d.name.empty()) d.name = d.uri;
    d.hasState = lilv_plugin_has_extension_data(p, n.stateInterface);
    if (LilvNodes* required = lilv_plugin_get_required_features(p)) {
        LILV_FOREACH(nodes, i, required)
        {
            const std::string f = text(lilv_nodes_get(required, i));
            if (std::find_if(std::begin(kOffered), std::end(kOffered),
                             [&](const char* o) { return f == o; }) == std::end(kOffered) &&
                d.unusable.empty())
                d.unusable = "needs " + f + ", which this program does not offer";
        }
        lilv_nodes_free(required);
    }
    const uint32_t ports = lilv_plugin_get_num_ports(p);
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        const bool in = lilv_port_is_a(p, port, n.input);
        if (lilv_port_is_a(p, port, n.audio)) {
            (in ? d.audioIn : d.audioOut) += 1;
        } else if (lilv_port_is_a(p, port, n.control)) {
            if (in) d.controls.push_back(controlOf(p, port, i, n));
        } else if (!lilv_port_is_a(p, port, n.atom) && !lilv_port_is_a(p, port, n.cv) &&
                   !lilv_port_has_property(p, port, n.optional) && d.unusable.empty()) {
            d.unusable = "has a kind of port this program does not connect";
        }
    }
    if (d.unusable.empty()) {
        if (d.audioIn == 0 && d.audioOut == 0) {
            d.unusable = "has no audio ports";
        } else if (d.audioIn == 0) {
            d.unusable = "has no audio input";
        } else if (d.audioOut == 0) {
            d.unusable = "has no audio output";
        } else if (d.audioIn > 2 || d.audioOut > 2) {
            d.unusable = "has more than two audio inputs or outputs";
        }
    }
    return d;
}

void findPlugins(Host* h)
{
    std::lock_guard<std::mutex> hold(h->world);
    h->w = lilv_world_new();
    if (h->w) {
        lilv_world_load_all(h->w);
        const Nodes n(h->w);
        const LilvPlugins* all = lilv_world_get_all_plugins(h->w);
        LILV_FOREACH(plugins, i, all)
        {
            const LilvPlugin* p = lilv_plugins_get(all, i);
            Lv2Plugin d = describe(p, n);
            if (d.uri.empty() || h->byUri.count(d.uri)) continue;
            h->byUri[d.uri] = p;
            h->plugins.push_back(std::move(d));
        }
        std::sort(h->plugins.begin(), h->plugins.end(),
                  [](const Lv2Plugin& a, const Lv2Plugin& b) { return a.uri < b.uri; });
    }
}

void waitForPlugins()
{
    Lv2_Discover();
    Host& h = host();
    std::unique_lock<std::mutex> hold(h.doneLock);
    h.doneSignal.wait(hold, [&] { return h.done; });
}

}  // namespace

void Lv2_Discover()
{
    Host& h = host();
    std::lock_guard<std::mutex> hold(h.doneLock);
    if (h.started) return;
    h.started = true;
    // Nobody waits for the search to end but through `done`: a program that
    // ends first leaves it be.
    std::thread([&h] {
        findPlugins(&h);
        std::lock_guard<std::mutex> done(h.doneLock);
        h.done = true;
        h.doneSignal.notify_all();
    }).detach();
}

const std::vector<Lv2Plugin>& Lv2_Plugins()
{
    waitForPlugins();
    return host().plugins;
}

const Lv2Plugin* Lv2_Find(const std::string& uri)
{
    for (const Lv2Plugin& p : Lv2_Plugins())
        if (p.uri == uri) return &p;
    return nullptr;
}

bool Lv2_StateFits(const Lv2Plugin& plugin, const std::string& turtle)
{
    if (!plugin.hasState || turtle.empty() || turtle.find('\0') != std::string::npos) return false;
    waitForPlugins();
    Host& h = host();
    std::lock_guard<std::mutex> hold(h.world);
    LilvState* state = h.w ? lilv_state_new_from_string(h.w, &h.map, turtle.c_str()) : nullptr;
    if (!state) return false;
    const LilvNode* uri = lilv_state_get_plugin_uri(state);
    const bool fits = uri && plugin.uri == text(uri);
    lilv_state_free(state);
    return fits;
}

// ---- Instances ----------------------------------------------------------------

struct Lv2Instance::Impl {
    LilvInstance* instance = nullptr;
    const LilvPlugin* plugin = nullptr;
    int32_t maxBlock = 0;
    float rate = 0.0f;
    LV2_Options_Option options[5] = {};
    LV2_Feature mapFeature{LV2_URID__map, nullptr};
    LV2_Feature unmapFeature{LV2_URID__unmap, nullptr};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, nullptr};
    LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
    LV2_Feature liveFeature{LV2_CORE__isLive, nullptr};
    const LV2_Feature* features[6] = {};
    std::vector<uint32_t> audioIn, audioOut;
    std::vector<float> unused;  // control outputs
    std::vector<std::vector<float>> cv;
    struct AtomPort {
        uint32_t port;
        bool input;
        std::vector<uint64_t> buffer;  // 8-byte aligned, as atoms are
    };
    std::vector<AtomPort> atoms;
    LV2_URID sequenceType = 0;  // mapped here: the audio thread maps nothing
    bool inPlaceBroken = false;
    std::vector<std::vector<float>> copies;  // inputs kept apart for such plugins
};

std::unique_ptr<Lv2Instance> Lv2Instance::make(const Lv2Plugin& plugin, double rate, int maxBlock,
                                               std::string* why)
{
    auto fail = [why](const std::string& reason) {
        if (why) *why = reason;
        return std::unique_ptr<Lv2Instance>();
    };
    if (!plugin.unusable.empty()) return fail(plugin.unusable);
    if (!(rate >= 1000.0 && rate <= 1e6) || maxBlock <= 0) return fail("no usable rate or block length");
    Host& h = host();
    waitForPlugins();
    std::lock_guard<std::mutex> hold(h.world);
    const auto found = h.byUri.find(plugin.uri);
    if (!h.w || found == h.byUri.end()) return fail("is not installed");
    const LilvPlugin* p = found->second;
    const Nodes n(h.w);

    std::unique_ptr<Lv2Instance> self(new Lv2Instance);
    self->impl_ = std::make_unique<Impl>();
    Impl& m = *self->impl_;
    m.plugin = p;
    m.maxBlock = maxBlock;
    m.rate = static_cast<float>(rate);
    const LV2_URID intType = h.urids.map(LV2_ATOM__Int);
    const LV2_URID floatType = h.urids.map(LV2_ATOM__Float);
    m.options[0] = {LV2_OPTIONS_INSTANCE, 0,       h.urids.map(LV2_BUF_SIZE__maxBlockLength),
                    sizeof(int32_t),      intType, &m.maxBlock};
    m.options[1] = {LV2_OPTIONS_INSTANCE, 0,       h.urids.map(LV2_BUF_SIZE__nominalBlockLength),
                    sizeof(int32_t),      intType, &m.maxBlock};
    m.options[2] = {LV2_OPTIONS_INSTANCE, 0,         h.urids.map(LV2_PARAMETERS__sampleRate),
                    sizeof(float),        floatType, &m.rate};
    m.options[3] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    m.mapFeature.data = &h.map;
    m.unmapFeature.data = &h.unmap;
    m.optionsFeature.data = m.options;
    m.features[0] = &m.mapFeature;
    m.features[1] = &m.unmapFeature;
    m.features[2] = &m.optionsFeature;
    m.features[3] = &m.boundedFeature;
    m.features[4] = &m.liveFeature;
    m.features[5] = nullptr;

    m.instance = lilv_plugin_instantiate(p, rate, m.features);
    if (!m.instance) return fail("could not be started");
    self->plugin_ = &plugin;
    self->controls_.resize(plugin.controls.size());
    const double scale = rate / kCatalogueRate;
    for (size_t i = 0; i < plugin.controls.size(); ++i) {
        const Lv2Control& c = plugin.controls[i];
        self->controls_[i] = c.sampleRate ? static_cast<float>(c.deflt * scale) : c.deflt;
        lilv_instance_connect_port(m.instance, static_cast<uint32_t>(c.port), &self->controls_[i]);
    }
    const uint32_t ports = lilv_plugin_get_num_ports(p);
    m.unused.resize(ports, 0.0f);
    m.cv.reserve(ports);
    m.atoms.reserve(ports);
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        const bool in = lilv_port_is_a(p, port, n.input);
        if (lilv_port_is_a(p, port, n.audio)) {
            (in ? m.audioIn : m.audioOut).push_back(i);
        } else if (lilv_port_is_a(p, port, n.control)) {
            if (!in) lilv_instance_connect_port(m.instance, i, &m.unused[i]);
        } else if (lilv_port_is_a(p, port, n.cv)) {
            m.cv.emplace_back(static_cast<size_t>(maxBlock), 0.0f);
            lilv_instance_connect_port(m.instance, i, m.cv.back().data());
        } else if (lilv_port_is_a(p, port, n.atom)) {
            m.atoms.push_back({i, in, std::vector<uint64_t>(kAtomCapacity / 8, 0)});
            lilv_instance_connect_port(m.instance, i, m.atoms.back().buffer.data());
        } else {
            lilv_instance_connect_port(m.instance, i, nullptr);
        }
    }
    m.sequenceType = h.urids.map(LV2_ATOM__Sequence);
    m.inPlaceBroken = lilv_plugin_has_feature(p, n.inPlaceBroken);
    if (m.inPlaceBroken)
        for (size_t k = 0; k < m.audioIn.size(); ++k)
            m.copies.emplace_back(static_cast<size_t>(maxBlock), 0.0f);
    lilv_instance_activate(m.instance);
    return self;
}

Lv2Instance::~Lv2Instance()
{
    if (!impl_ || !impl_->instance) return;
    std::lock_guard<std::mutex> hold(host().world);
    lilv_instance_deactivate(impl_->instance);
    lilv_instance_free(impl_->instance);
}

void Lv2Instance::run(const float* const* in, float* const* out, int n)
{
    Impl& m = *impl_;
    n = std::clamp(n, 0, static_cast<int>(m.maxBlock));
    if (n == 0) return;
    for (size_t k = 0; k < m.audioIn.size(); ++k) {
        const float* from = in[k];
        if (m.inPlaceBroken) {
            std::copy(from, from + n, m.copies[k].data());
            from = m.copies[k].data();
        }
        lilv_instance_connect_port(m.instance, m.audioIn[k], const_cast<float*>(from));
    }
    for (size_t k = 0; k < m.audioOut.size(); ++k)
        lilv_instance_connect_port(m.instance, m.audioOut[k], out[k]);
    for (Impl::AtomPort& a : m.atoms) {
        auto* atom = reinterpret_cast<LV2_Atom*>(a.buffer.data());
        if (a.input) {
            // An empty sequence: nothing happens on this port.
            auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atom);
            seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
            seq->atom.type = m.sequenceType;
            seq->body.unit = 0;
            seq->body.pad = 0;
        } else {
            atom->size = kAtomCapacity - sizeof(LV2_Atom);
            atom->type = 0;
        }
    }
    lilv_instance_run(m.instance, static_cast<uint32_t>(n));
}

void Lv2Instance::reset()
{
    std::lock_guard<std::mutex> hold(host().world);
    lilv_instance_deactivate(impl_->instance);
    lilv_instance_activate(impl_->instance);
}

std::string Lv2Instance::saveState()
{
    if (!impl_ || !plugin_->hasState) return {};
    Host& h = host();
    std::lock_guard<std::mutex> hold(h.world);
    LilvState* state = lilv_state_new_from_instance(
        impl_->plugin, impl_->instance, &h.map, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, impl_->features);
    if (!state) return {};
    char* turtle = lilv_state_to_string(h.w, &h.map, &h.unmap, state, kStateUri, nullptr);
    std::string out = turtle ? turtle : "";
    lilv_free(turtle);
    lilv_state_free(state);
    return out;
}

bool Lv2Instance::restoreState(const std::string& turtle)
{
    if (!impl_ || !plugin_->hasState || turtle.empty() || turtle.find('\0') != std::string::npos)
        return false;
    Host& h = host();
    std::lock_guard<std::mutex> hold(h.world);
    LilvState* state = lilv_state_new_from_string(h.w, &h.map, turtle.c_str());
    if (!state) return false;
    const LilvNode* uri = lilv_state_get_plugin_uri(state);
    const bool ours = uri && plugin_->uri == text(uri);
    if (ours) lilv_state_restore(state, impl_->instance, nullptr, nullptr, 0, impl_->features);
    lilv_state_free(state);
    return ours;
}

}  // namespace plat
