#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"

#include <filesystem>
#include <system_error>

// Where `cmake --install` puts the data folder, from the folder it puts the program in: the build
// defines it (RozezEru/CMakeLists.txt), so the name is written in one place.
#ifndef VANTLE_DATA_FROM_PROGRAM
#error "VANTLE_DATA_FROM_PROGRAM is not defined: build this file as part of the rozezeru library"
#endif

namespace rozezeru {

const Bundle& Bundle::main() {
    static const Bundle bundle = [] {
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? Bundle("Resources") : forProgram(program.string(), VANTLE_DATA_FROM_PROGRAM);
    }();
    return bundle;
}

Bundle Bundle::forProgram(const std::string& programPath, const std::string& dataFolder) {
    const auto folder = std::filesystem::path(programPath).parent_path();
    std::error_code error;
    const auto installed = (folder / dataFolder).lexically_normal();
    if (!dataFolder.empty() && std::filesystem::is_directory(installed, error))
        return Bundle(installed.string());
    return Bundle((folder / "Resources").string());
}

std::optional<std::string> Bundle::pathForResource(const std::string& name,
                                                   const std::string& extension) const {
    // A name that climbs out of the folder is no resource of it.
    if (name.empty() || name.find("..") != std::string::npos) return std::nullopt;
    const std::string path = resourcePath_ + "/" + name + "." + extension;
    // Every resource is read as a file: a folder of that name is none.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    return path;
}

} // namespace rozezeru
