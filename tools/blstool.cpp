// blstool: writes and reads BLS song descriptions.
//   blstool encode plain.txt out.bls   one record per line of the plain text
//   blstool decode in.bls              one line per record on standard output
// Exit codes: 0 done, 1 bad input or a file that cannot be read or written,
// 2 wrong use.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "library/BLBlsParser.h"
#include "library/BLBlsWriter.h"

namespace {

constexpr int kDone = 0;
constexpr int kBadInput = 1;
constexpr int kWrongUse = 2;
// Enough problems to fix at one go without flooding the terminal.
constexpr int kMostProblemsShown = 20;

const char kUsage[] =
    "usage: blstool encode PLAIN.txt OUT.bls   write a description, one record per line\n"
    "       blstool decode IN.bls              print a description, one line per record\n"
    "Lines are kept byte for byte (a carriage return too). A line may hold at most\n"
    "2047 bytes and no NUL byte. Line feeds inside a record, which the reader\n"
    "skips, are left out when decoding.\n";

int complain(const char* fmt, const std::string& a, const std::string& b = "")
{
    std::fprintf(stderr, "blstool: ");
    std::fprintf(stderr, fmt, a.c_str(), b.c_str());
    std::fprintf(stderr, "\n");
    return kBadInput;
}

// The file layer takes kel paths, where ':' separates folders.
bool toKelPath(const std::string& system, std::string* kel)
{
    if (system.empty() || system.find(':') != std::string::npos) return false;
    char buffer[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(system.c_str(), buffer)) return false;
    *kel = buffer;
    char back[kKelSystemPathMax + 1];
    return KEL_KelPathToSystemPath(buffer, back);
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return lines;
}

int encode(const std::string& plainPath, const std::string& outPath)
{
    std::ifstream in(plainPath, std::ios::binary);
    if (!in) return complain("cannot read '%s'", plainPath);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return complain("cannot read '%s'", plainPath);
    const std::vector<std::string> lines = splitLines(text);

    int problems = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const BLBlsLineProblem problem = BLBlsWriter_CheckLine(lines[i]);
        if (problem == BLBlsLineProblem::none) continue;
        if (++problems <= kMostProblemsShown)
            complain("%s", plainPath + ":" + std::to_string(i + 1) + ": " +
                               BLBlsWriter_Describe(problem, lines[i]));
    }
    if (problems > 0) {
        if (problems > kMostProblemsShown)
            complain("%s", std::to_string(problems - kMostProblemsShown) + " more lines cannot be written");
        return complain("nothing written to '%s'", outPath);
    }

    std::string kel;
    if (!toKelPath(outPath, &kel)) return complain("cannot use the file name '%s'", outPath);
    std::string error;
    if (!BLBlsWriter_Write(kel.c_str(), lines, &error)) return complain("%s: %s", outPath, error);
    return kDone;
}

int decode(const std::string& blsPath)
{
    std::string kel;
    if (!toKelPath(blsPath, &kel)) return complain("cannot use the file name '%s'", blsPath);
    BLBlsParser parser;
    if (!parser.open(kel.c_str())) return complain("cannot open '%s'", blsPath);

    int status = kDone;
    int record = 0;
    std::string out;
    while (parser.next()) {
        ++record;
        if (parser.recordLength() > BLBLS_MAX_LINE) {
            status =
                complain("%s", blsPath + ": record " + std::to_string(record) + " is " +
                                   std::to_string(parser.recordLength()) + " bytes long; only its first " +
                                   std::to_string(BLBLS_MAX_LINE) + " are read");
        }
        for (const char* c = parser.currentLine(); *c; ++c) {
            if (*c != '\n') out += *c;
        }
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);

    const std::string where = blsPath + ": record " + std::to_string(record + 1);
    switch (parser.lastRecord()) {
        case BLCryptRecord::end: break;
        case BLCryptRecord::empty:
            status = complain("%s has length 0, which ends the description there", where);
            break;
        case BLCryptRecord::damaged:
        case BLCryptRecord::line: status = complain("%s is damaged or cut short", where); break;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return kDone;
    }
    if (args.size() == 3 && args[0] == "encode") return encode(args[1], args[2]);
    if (args.size() == 2 && args[0] == "decode") return decode(args[1]);
    std::fputs(kUsage, stderr);
    return kWrongUse;
}
