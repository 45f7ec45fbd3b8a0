#pragma once
// The stand-in for an application bundle's resources: a folder in which a resource is found by its name
// and extension. The main bundle's folder is "Resources" beside the running program (the build tree) or,
// for a program installed in "<prefix>/bin", "<prefix>/share/com.fennorastudio.Vantle". Any thread.

#include <optional>
#include <string>

namespace rozezeru {

class Bundle {
public:
    explicit Bundle(std::string resourcePath) : resourcePath_(std::move(resourcePath)) {}
    static const Bundle& main();
    // The resource folder of a program in `programFolder`, as main() chooses it.
    static std::string resourcePathForProgramFolder(const std::string& programFolder);

    const std::string& resourcePath() const { return resourcePath_; }
    // The path of "<name>.<extension>" in the folder when such a file exists.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& extension) const;

private:
    std::string resourcePath_;
};

} // namespace rozezeru
