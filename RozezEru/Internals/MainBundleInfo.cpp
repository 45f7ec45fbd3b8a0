#include "RozezEru/Internals/MainBundleInfo.h"

#include <map>
#include <mutex>

namespace rozezeru {

namespace {

struct MainBundleInfoTable {
    std::mutex mutex;
    std::map<std::string, std::string> entries;
};

MainBundleInfoTable& mainBundleInfoTable() {
    static MainBundleInfoTable table;
    return table;
}

} // namespace

std::optional<std::string> MainBundleInfo::entry(const std::string& key) {
    auto& table = mainBundleInfoTable();
    std::lock_guard lock(table.mutex);
    const auto found = table.entries.find(key);
    if (found == table.entries.end()) return std::nullopt;
    return found->second;
}

void MainBundleInfo::setEntry(const std::string& key, std::optional<std::string> value) {
    auto& table = mainBundleInfoTable();
    std::lock_guard lock(table.mutex);
    if (value)
        table.entries[key] = std::move(*value);
    else
        table.entries.erase(key);
}

} // namespace rozezeru
