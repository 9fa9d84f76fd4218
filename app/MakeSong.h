// `beatloom --make-song`: a song of the library made from the user's loops,
// from the terminal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct MakeSongOptions {
    std::vector<std::string> paths;  // files and folders, system paths
    std::string name;
    int tempo = 0;
    bool yes = false;  // make it without asking
};

// 0 made with every file; 3 made, some files left out (each named); 1 not
// made (why on err); 2 a wrong option.
int MakeSong_Main(const MakeSongOptions& options, const std::string& programFolder, FILE* out, FILE* err);
