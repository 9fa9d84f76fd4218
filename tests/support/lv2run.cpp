// lv2run: runs an LV2 plugin over a 16-bit stereo WAV file, for the tests
// that check a render through a plugin. Written over lilv alone, apart from
// the program's own effect code:
//   lv2run URI IN.wav OUT.wav [SYMBOL=VALUE ...]
// The frames are read as value / 32768, run in blocks of 2048 frames from
// the first (a plugin of one input and one output runs once a side), and
// written back as x * 32768 rounded to the nearest, held to +-32767.
#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::string, LV2_URID> ids;
std::vector<std::string> names;

LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri)
{
    auto [at, added] = ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
    if (added) names.push_back(uri);
    return at->second;
}

const char* unmapUri(LV2_URID_Unmap_Handle, LV2_URID id)
{
    return id >= 1 && id <= names.size() ? names[id - 1].c_str() : nullptr;
}

int fail(const std::string& why)
{
    std::fprintf(stderr, "lv2run: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return fail("usage: lv2run URI IN.wav OUT.wav [SYMBOL=VALUE ...]");
    std::ifstream in(argv[2], std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 44 || bytes.compare(36, 4, "data") != 0) return fail("not a plain WAV file");
    const size_t frames = (bytes.size() - 44) / 4;
    std::vector<float> ch[2];
    for (int k = 0; k < 2; ++k) ch[k].resize(frames);
    for (size_t i = 0; i < frames; ++i)
        for (int k = 0; k < 2; ++k) {
            int16_t v;
            std::memcpy(&v, bytes.data() + 44 + 4 * i + 2 * k, 2);
            ch[k][i] = v / 32768.0f;
        }

    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, argv[1]);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    if (!plugin) return fail(std::string("no plugin ") + argv[1]);
    LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
    LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
    LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    std::vector<float> values(ports, 0.0f), mins(ports), maxs(ports), defs(ports);
    lilv_plugin_get_port_ranges_float(plugin, mins.data(), maxs.data(), defs.data());
    std::vector<uint32_t> ins, outs;
    for (uint32_t p = 0; p < ports; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        if (lilv_port_is_a(plugin, port, audio))
            (lilv_port_is_a(plugin, port, input) ? ins : outs).push_back(p);
        if (lilv_port_is_a(plugin, port, control)) values[p] = std::isnan(defs[p]) ? 0.0f : defs[p];
    }
    for (int a = 4; a < argc; ++a) {
        const std::string set = argv[a];
        const size_t eq = set.find('=');
        if (eq == std::string::npos) return fail("not SYMBOL=VALUE: " + set);
        LilvNode* symbol = lilv_new_string(world, set.substr(0, eq).c_str());
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
        lilv_node_free(symbol);
        if (!port) return fail("no port " + set.substr(0, eq));
        values[lilv_port_get_index(plugin, port)] = std::strtof(set.c_str() + eq + 1, nullptr);
    }

    LV2_URID_Map map{nullptr, mapUri};
    LV2_URID_Unmap unmap{nullptr, unmapUri};
    LV2_Feature mapF{LV2_URID__map, &map}, unmapF{LV2_URID__unmap, &unmap};
    const LV2_Feature* features[] = {&mapF, &unmapF, nullptr};
    const int copies = ins.size() == 1 && outs.size() == 1 ? 2 : 1;
    std::vector<LilvInstance*> instances;
    for (int c = 0; c < copies; ++c) {
        LilvInstance* i = lilv_plugin_instantiate(plugin, 44100.0, features);
        if (!i) return fail("cannot instantiate");
        std::vector<float>* unused = new std::vector<float>(ports, 0.0f);
        for (uint32_t p = 0; p < ports; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            if (lilv_port_is_a(plugin, port, control))
                lilv_instance_connect_port(i, p,
                                           lilv_port_is_a(plugin, port, input) ? &values[p] : &(*unused)[p]);
        }
        lilv_instance_activate(i);
        instances.push_back(i);
    }
    constexpr size_t kBlock = 2048;
    std::vector<float> mono(kBlock), out[2];
    for (int k = 0; k < 2; ++k) out[k].resize(frames);
    for (size_t at = 0; at < frames; at += kBlock) {
        const size_t n = std::min(kBlock, frames - at);
        if (copies == 2) {
            for (int k = 0; k < 2; ++k) {
                lilv_instance_connect_port(instances[k], ins[0], ch[k].data() + at);
                lilv_instance_connect_port(instances[k], outs[0], out[k].data() + at);
                lilv_instance_run(instances[k], static_cast<uint32_t>(n));
            }
            continue;
        }
        if (ins.size() == 1) {
            for (size_t i = 0; i < n; ++i) mono[i] = 0.5f * (ch[0][at + i] + ch[1][at + i]);
            lilv_instance_connect_port(instances[0], ins[0], mono.data());
        } else {
            for (int k = 0; k < 2; ++k) lilv_instance_connect_port(instances[0], ins[k], ch[k].data() + at);
        }
        for (size_t k = 0; k < outs.size() && k < 2; ++k)
            lilv_instance_connect_port(instances[0], outs[k], out[k].data() + at);
        lilv_instance_run(instances[0], static_cast<uint32_t>(n));
        if (outs.size() == 1)
            std::copy(out[0].begin() + static_cast<long>(at), out[0].begin() + static_cast<long>(at + n),
                      out[1].begin() + static_cast<long>(at));
    }
    std::string result = bytes.substr(0, 44);
    for (size_t i = 0; i < frames; ++i)
        for (int k = 0; k < 2; ++k) {
            const double v = out[k][i] * 32768.0;
            const int16_t s = v >= 32767.0    ? 32767
                              : v <= -32767.0 ? -32767
                                              : static_cast<int16_t>(std::lround(v));
            result.append(reinterpret_cast<const char*>(&s), 2);
        }
    std::ofstream(argv[3], std::ios::binary) << result;
    return 0;
}
