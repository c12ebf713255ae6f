// SPDX-License-Identifier: Apache-2.0
// The builder over arbitrary programs and images. The input is split in two at a point
// its first two bytes choose: the part before is "the running program", the rest the image.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ui/SilentUserInterface.h"
#include "builder/Builder.h"

namespace {

// The folder the inputs are written to and built in, removed at the end of the run. On tmpfs
// where there is one: the builder makes its output durable (two fsync calls and a rename per
// build), which costs nothing there and on a disk would hold the run to a few dozen inputs a
// second.
class WorkFolder {
public:
    WorkFolder() {
        const char* base = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string name = std::string(base) + "/fuzz-builder-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) {
            std::perror(name.c_str());
            std::abort();
        }
        Path = name;
    }
    ~WorkFolder() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::filesystem::path Path;
};

const std::filesystem::path& WorkDirectory() {
    static const WorkFolder folder;
    return folder.Path;
}

void WriteFile(const std::filesystem::path& path, const uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::size_t split = 2 + ((std::size_t(data[0]) << 8 | data[1]) % (size - 1));
    const std::filesystem::path& dir = WorkDirectory();
    const std::filesystem::path program = dir / "blank";
    const std::filesystem::path image = dir / "qfa0.bin";
    WriteFile(program, data + 2, split - 2);
    WriteFile(image, data + split, size - split);

    BuildRequest request;
    request.ImagePath = image;
    request.SelectedBinName = "qfa0.bin";
    request.Model = {"Model", "VENDOR  PRODUCT", "0001-0009", "Vendor", "Note"};
    request.OutputDirectory = dir;
    request.ExecutablePath = program;
    request.ProgramName = "blank";
    // A short key-word so that random programs contain it now and then.
    request.KeyWord = {'K', 'W', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < request.KeyWord.size() && 2 + i < split && i < 3; ++i)
        request.KeyWord[i] = data[2 + i];
    // The same for the seal area's key-word, which the build also needs.
    request.SealKey = {'S', 'L', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

    SilentUserInterface ui;
    const bool built = BuildFlashProgram(request, ui).Built;
    std::error_code ec;
    const std::filesystem::path output = dir / "qfa0.EXE";
    if (built && std::filesystem::file_size(output, ec) != split - 2)
        __builtin_trap();  // a finished build always has the program's length
    std::filesystem::remove(output, ec);
    return 0;
}
