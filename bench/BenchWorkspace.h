// SPDX-License-Identifier: Apache-2.0
#pragma once
// The scratch directory a benchmark works in: a copy of the program, a model file with one
// model ("Bench", revisions B000-BZZZ) and a full-size image B100.BIN that builds B100.EXE.
// Removed with everything in it when the benchmark ends.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "areas/IdentityBlock.h"

class BenchWorkspace {
public:
    BenchWorkspace() {
        char pattern[] = "/tmp/flashutil-bench-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        Dir = pattern;
        Program = Dir + "/flashutil";
        std::filesystem::copy_file(FLASHUTIL_BINARY, Program);
        std::ofstream ini(Dir + "/flashutil.INI");
        ini << "[MODEL00]\nModel=Bench\nInquiry=BENCH   DRIVE\nFW-Range=B000-BZZZ\nBINMask=*.BIN\nVendor=Bench\nNote=x\n";
        std::ofstream image(Image(), std::ios::binary);
        for (std::size_t i = 0; i < Layout::ImageCapacity; ++i)
            image.put(char(i * 31 + (i >> 11)));
    }
    ~BenchWorkspace() { std::filesystem::remove_all(Dir); }
    BenchWorkspace(const BenchWorkspace&) = delete;
    BenchWorkspace& operator=(const BenchWorkspace&) = delete;

    std::string Image() const { return Dir + "/B100.BIN"; }

    std::string Dir;
    std::string Program;
};
