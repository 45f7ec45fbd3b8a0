#include "RozezEru/Internals/CheckError.h"
#include "RozezEru/Internals/Settings.h"

#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

using namespace rozezeru;
using platform::LogType;
using StatusCodeCapture = testsupport::ToolkitLogCapture;

namespace {

struct KnownStatus {
    OSStatus code;
    std::string name;
    std::string category;
};

// "code:name|..." from the platform's tables; "m" marks the MIDI ones.
std::vector<KnownStatus> knownStatusCodes() {
    std::istringstream entries(
        "-10879:kAudioUnitErr_InvalidProperty|-10878:kAudioUnitErr_InvalidParameter|"
        "-10877:kAudioUnitErr_InvalidElement|-10876:kAudioUnitErr_NoConnection|"
        "-10875:kAudioUnitErr_FailedInitialization|-10874:kAudioUnitErr_TooManyFramesToProcess|"
        "-10871:kAudioUnitErr_InvalidFile|-10868:kAudioUnitErr_FormatNotSupported|"
        "-10867:kAudioUnitErr_Uninitialized|-10866:kAudioUnitErr_InvalidScope|"
        "-10865:kAudioUnitErr_PropertyNotWritable|-10851:kAudioUnitErr_InvalidPropertyValue|"
        "-10850:kAudioUnitErr_PropertyNotInUse|-10849:kAudioUnitErr_Initialized|"
        "-10848:kAudioUnitErr_InvalidOfflineRender|-10847:kAudioUnitErr_Unauthorized|"
        "-10864:kAUGraphErr_InvalidAudioUnit|-10863:kAUGraphErr_CannotDoInCurrentContext|"
        "-10862:kAUGraphErr_OutputNodeErr|-10861:kAUGraphErr_InvalidConnection|"
        "-10860:kAUGraphErr_NodeNotFound|-10859:kAudioToolboxErr_TrackIndexError|"
        "-10858:kAudioToolboxErr_TrackNotFound|-10857:kAudioToolboxErr_EndOfTrack|"
        "-10856:kAudioToolboxErr_StartOfTrack|-10855:kAudioToolboxErr_IllegalTrackDestination|"
        "-10854:kAudioToolboxErr_NoSequence|-10853:kAudioToolboxErr_InvalidEventType|"
        "-10852:kAudioToolboxErr_InvalidPlayerState|-10846:kAudioToolboxErr_InvalidSequenceType|"
        "m-10844:kMIDINotPermitted: Have you enabled the audio background mode in your ios app?|"
        "m-10843:kMIDIIDNotUnique|m-10842:kMIDIObjectNotFound|m-10841:kMIDIWrongThread|"
        "m-10840:kMIDISetupFormatErr|m-10839:kMIDIServerStartErr|m-10838:kMIDIMessageSendErr|"
        "m-10837:kMIDINoCurrentSetup|m-10836:kMIDIWrongPropertyType|m-10835:kMIDIUnknownProperty|"
        "m-10834:kMIDIUnknownEndpoint|m-10833:kMIDINoConnection|m-10832:kMIDIWrongEndpointType|"
        "m-10831:kMIDIInvalidPort|m-10830:kMIDIInvalidClient|-50:kAudio_ParamError");
    std::vector<KnownStatus> known;
    for (std::string entry; std::getline(entries, entry, '|');) {
        const bool midi = entry[0] == 'm';
        known.push_back(
            {std::stoi(entry.substr(midi)), entry.substr(entry.find(':') + 1), midi ? "midi" : "general"});
    }
    return known;
}

// "CheckError.cpp:CheckError(_:):<line>:<content> (CheckError.cpp:CheckError(_:):<line>)"
struct CheckErrorRecordText {
    int line = -1;
    std::string content;
};

CheckErrorRecordText parseCheckErrorRecord(const std::string& text) {
    static const std::regex pattern(
        R"(^CheckError\.cpp:CheckError\(_:\):(\d+):(.*) \(CheckError\.cpp:CheckError\(_:\):(\d+)\)$)");
    std::smatch match;
    if (!std::regex_match(text, match, pattern) || match[1] != match[3]) return {};
    return {std::stoi(match[1]), match[2]};
}

} // namespace

TEST(CheckError, EachCodeLogsItsNameOrElseItsNumberOnceAtErrorLevel) {
    auto statuses = knownStatusCodes();
    ASSERT_EQ(statuses.size(), 46u);
    const OSStatus fourCharCode = ('f' << 24) | ('m' << 16) | ('t' << 8) | '?';
    for (OSStatus code :
         {-10873, -10872, -10870, -10869, -10845, -10880, -10829, -49, -51, -1, 1, fourCharCode,
          std::numeric_limits<OSStatus>::min(), std::numeric_limits<OSStatus>::max()})
        statuses.push_back({code, std::to_string(code), "general"});
    StatusCodeCapture capture;
    std::set<int> lines;
    for (const auto& status : statuses) {
        SCOPED_TRACE(status.code);
        capture.sink.clear();
        CheckError(status.code);
        const auto records = capture.sink.records();
        ASSERT_EQ(records.size(), 1u);
        const auto record = parseCheckErrorRecord(records[0].text);
        EXPECT_EQ(std::tuple(record.content, records[0].category, records[0].subsystem, records[0].level),
                  std::tuple(status.name, status.category, "com.fennorastudio.RozezEru", LogType::error))
            << records[0].text;
        lines.insert(record.line);
    }
    EXPECT_EQ(lines.size(), 47u) << "each named code logs from a line of its own, the others from one";
}

TEST(CheckError, SuccessAndSwitchedOffLogNothing) {
    StatusCodeCapture capture;
    CheckError(noErr);
    EXPECT_TRUE(capture.sink.records().empty());

    Settings::loggingEnabled = false;
    for (const auto& status : knownStatusCodes())
        CheckError(status.code);
    CheckError(-10873);
    CheckError(1);
    EXPECT_TRUE(capture.sink.records().empty());
}
