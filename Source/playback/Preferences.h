#pragma once
// The keys under which the program keeps its own settings in the user defaults.

#include <string_view>

namespace vantle {

// Key names of the program's own user defaults. Any thread.
struct Preferences {
    // The break sound's attenuation: 1.0 minus its chosen volume (float, 0.0 … 1.0).
    static constexpr std::string_view restSoundAttenuationKey = "breaksoundAttenuation";
    // The playlist's directory prefix (a folder path).
    static constexpr std::string_view directoryPrefixKey = "directoryPrefix";
    // The default break length in minutes (double).
    static constexpr std::string_view timerDurationKey = "timerDuration";
    // The folders in which the audio and the session panels were last used (file URLs).
    static constexpr std::string_view audioPanelFolderKey = "audioPanelFolder";
    static constexpr std::string_view sessionPanelFolderKey = "sessionPanelFolder";
};

} // namespace vantle
