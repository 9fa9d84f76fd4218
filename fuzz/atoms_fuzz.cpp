// The atoms file reader on any bytes, asked for a mix of ids and sizes; then
// atoms cut from the input are written and must read back as they were.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"

namespace {

constexpr uint32_t kIDs[] = {kelFourCC("vers"), kelFourCC("data"), kelFourCC("syic"), 0};
constexpr int32_t kSizes[] = {4, 0, 10, 1, 300};
constexpr size_t kGuard = 16;

void readAtoms(const uint8_t* data, size_t size)
{
    fuzzfiles::write("in.bld", data, size);
    kelAtomsFile in;
    if (!in.openForRead(fuzzfiles::kelPath("in.bld").c_str())) {
        fuzzfiles::check(!in.isOpen());
        return;
    }
    // The buffer is bigger than any read asks for; what lies past the size
    // asked must stay untouched.
    std::vector<uint8_t> buffer(300 + kGuard, 0xA5);
    for (int i = 0; i < 48; ++i) {
        const uint32_t id = kIDs[i % 4];
        if (i % 3 == 2) {
            int32_t value;
            in.read(id, &value);
            continue;
        }
        const int32_t want = kSizes[i % 5];
        in.zeroFill = (i % 7) != 0;
        in.read(id, want, buffer.data());
        for (size_t k = static_cast<size_t>(want); k < buffer.size(); ++k)
            fuzzfiles::check(buffer[k] == 0xA5);
        std::memset(buffer.data(), 0xA5, buffer.size());
    }
    fuzzfiles::check(in.close());
}

void roundTrip(const uint8_t* data, size_t size)
{
    // Atoms of 0, 1, 2 ... bytes taken from the input in turn.
    std::vector<std::string> pieces;
    for (size_t at = 0, n = 0; at <= size && pieces.size() < 24; at += n, ++n)
        pieces.emplace_back(reinterpret_cast<const char*>(data) + at, n < size - at ? n : size - at);
    kelAtomsFile out;
    fuzzfiles::check(out.openForWrite(fuzzfiles::kelPath("out.bld").c_str()));
    for (size_t i = 0; i < pieces.size(); ++i)
        out.write(kIDs[i % 3], static_cast<int32_t>(pieces[i].size()), pieces[i].data());
    fuzzfiles::check(!out.failed());
    fuzzfiles::check(out.close());

    kelAtomsFile in;
    fuzzfiles::check(in.openForRead(fuzzfiles::kelPath("out.bld").c_str()));
    for (size_t i = 0; i < pieces.size(); ++i) {
        std::string back(pieces[i].size() + 3, '#');
        fuzzfiles::check(in.read(kIDs[i % 3], static_cast<int32_t>(back.size()), back.data()));
        fuzzfiles::check(back == pieces[i] + std::string(3, '\0'));
    }
    char c;
    fuzzfiles::check(!in.read(kIDs[0], 1, &c));
    in.close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readAtoms(data, size);
    roundTrip(data, size);
    return 0;
}
