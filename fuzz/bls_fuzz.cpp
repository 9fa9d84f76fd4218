// Feeds arbitrary files to the BLS reader and works every token call on each
// line; then writes the input's lines as a description and reads them back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "core/kelFiles.h"
#include "library/BLBlsParser.h"
#include "library/BLBlsWriter.h"

namespace {

using fuzzfiles::check;

void tokens(BLBlsParser& p)
{
    char tiny[4], word[32], text[BLBlsParser::kLineSize];
    int16_t s = 0;
    int32_t l = 0;
    p.getStar();
    p.getStar();
    for (int i = 0; i < 8; ++i) {
        p.getStr(tiny);
        check(std::strlen(tiny) < sizeof tiny, "word overran its buffer");
    }
    p.getText(word);
    check(std::strlen(word) < sizeof word, "text overran its buffer");
    p.restart();
    for (int i = 0; i < 8; ++i) {
        p.getShort(&s);
        p.getLong(&l);
    }
    p.restart();
    while (p.getStr(word)) check(std::strlen(word) < sizeof word, "word overran its buffer");
    p.getText(text);
    p.restart();
    p.getText(text);
    check(std::strlen(text) < sizeof text, "text overran the line");
}

void readAny(const uint8_t* data, size_t size)
{
    fuzzfiles::write("in.bls", data, size);
    const std::string path = fuzzfiles::kelPath("in.bls");
    BLBlsParser p;
    check(p.open(path.c_str()), "cannot open");
    for (int lines = 0; lines < 10000 && p.next(); ++lines) tokens(p);
}

// Lines of the format come back exactly.
void roundTrip(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    const std::string all(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        lines.emplace_back(all, start, end - start);
        start = end + 1;
    }
    const std::string path = fuzzfiles::kelPath("out.bls");
    std::string error;
    if (!BLBlsWriter_Write(path.c_str(), lines, &error)) {
        bool refusable = false;
        for (const std::string& line : lines)
            refusable |= BLBlsWriter_CheckLine(line) != BLBlsLineProblem::none;
        check(refusable, "a line the format holds was refused");
        return;
    }
    BLBlsParser p;
    check(p.open(path.c_str()), "cannot open what was written");
    for (const std::string& line : lines) {
        check(p.next(), "a line went missing");
        check(line == p.currentLine(), "a line came back changed");
    }
    check(!p.next() && p.lastRecord() == BLCryptRecord::end, "more lines came back than were written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readAny(data, size);
    roundTrip(data, size);
    return 0;
}
