#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"

#include "platform/foundation/Files.h"

#include <filesystem>
#include <system_error>

namespace rozezeru {

const Bundle& Bundle::main() {
    static const Bundle bundle = [] {
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        return Bundle(error ? std::string("Resources") : resourcePathForProgramFolder(program.parent_path()));
    }();
    return bundle;
}

std::string Bundle::resourcePathForProgramFolder(const std::string& programFolder) {
    const std::filesystem::path folder(programFolder);
    const std::filesystem::path beside = folder / "Resources";
    std::error_code error;
    if (std::filesystem::is_directory(beside, error)) return beside.string();
    const std::filesystem::path installed = folder.parent_path() / "share" / "com.fennorastudio.Vantle";
    if (std::filesystem::is_directory(installed, error)) return installed.string();
    return beside.string();
}

std::optional<std::string> Bundle::pathForResource(const std::string& name,
                                                   const std::string& extension) const {
    // A name that climbs out of the folder is no resource of it.
    if (name.empty() || name.find("..") != std::string::npos) return std::nullopt;
    const std::string path = resourcePath_ + "/" + name + "." + extension;
    if (!platform::fileExists(path)) return std::nullopt;
    return path;
}

} // namespace rozezeru
