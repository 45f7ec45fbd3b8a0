#pragma once
// The stand-in for an application bundle's resources: a folder in which a resource is found by its name
// and extension. The main bundle's folder is the program's installed data folder, or "Resources" beside
// the running program when it has none (a program run from the build tree). Any thread.

#include <optional>
#include <string>

namespace rozezeru {

class Bundle {
public:
    explicit Bundle(std::string resourcePath) : resourcePath_(std::move(resourcePath)) {}
    static const Bundle& main();
    // The bundle of the program at `programPath`: `dataFolder`, taken from the program's folder, when
    // it exists; otherwise "Resources" beside the program.
    static Bundle forProgram(const std::string& programPath, const std::string& dataFolder);

    const std::string& resourcePath() const { return resourcePath_; }
    // The path of "<name>.<extension>" in the folder when it is a regular file (or a link to one).
    std::optional<std::string> pathForResource(const std::string& name, const std::string& extension) const;

private:
    std::string resourcePath_;
};

} // namespace rozezeru
