#include "RozezEru/Internals/CheckError.h"
#include "RozezEru/Internals/Settings.h"

#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

using namespace rozezeru;
using platform::LogType;
using StatusCodeCapture = testsupport::ToolkitLogCapture;

namespace {

struct KnownStatus {
    OSStatus code;
    const char* name;
    const char* category;
};

const KnownStatus knownStatusCodes[] = {
    {-10879, "kAudioUnitErr_InvalidProperty", "general"},
    {-10878, "kAudioUnitErr_InvalidParameter", "general"},
    {-10877, "kAudioUnitErr_InvalidElement", "general"},
    {-10876, "kAudioUnitErr_NoConnection", "general"},
    {-10875, "kAudioUnitErr_FailedInitialization", "general"},
    {-10874, "kAudioUnitErr_TooManyFramesToProcess", "general"},
    {-10871, "kAudioUnitErr_InvalidFile", "general"},
    {-10868, "kAudioUnitErr_FormatNotSupported", "general"},
    {-10867, "kAudioUnitErr_Uninitialized", "general"},
    {-10866, "kAudioUnitErr_InvalidScope", "general"},
    {-10865, "kAudioUnitErr_PropertyNotWritable", "general"},
    {-10851, "kAudioUnitErr_InvalidPropertyValue", "general"},
    {-10850, "kAudioUnitErr_PropertyNotInUse", "general"},
    {-10849, "kAudioUnitErr_Initialized", "general"},
    {-10848, "kAudioUnitErr_InvalidOfflineRender", "general"},
    {-10847, "kAudioUnitErr_Unauthorized", "general"},
    {-10864, "kAUGraphErr_InvalidAudioUnit", "general"},
    {-10863, "kAUGraphErr_CannotDoInCurrentContext", "general"},
    {-10862, "kAUGraphErr_OutputNodeErr", "general"},
    {-10861, "kAUGraphErr_InvalidConnection", "general"},
    {-10860, "kAUGraphErr_NodeNotFound", "general"},
    {-10859, "kAudioToolboxErr_TrackIndexError", "general"},
    {-10858, "kAudioToolboxErr_TrackNotFound", "general"},
    {-10857, "kAudioToolboxErr_EndOfTrack", "general"},
    {-10856, "kAudioToolboxErr_StartOfTrack", "general"},
    {-10855, "kAudioToolboxErr_IllegalTrackDestination", "general"},
    {-10854, "kAudioToolboxErr_NoSequence", "general"},
    {-10853, "kAudioToolboxErr_InvalidEventType", "general"},
    {-10852, "kAudioToolboxErr_InvalidPlayerState", "general"},
    {-10846, "kAudioToolboxErr_InvalidSequenceType", "general"},
    {-10844, "kMIDINotPermitted: Have you enabled the audio background mode in your ios app?", "midi"},
    {-10843, "kMIDIIDNotUnique", "midi"},
    {-10842, "kMIDIObjectNotFound", "midi"},
    {-10841, "kMIDIWrongThread", "midi"},
    {-10840, "kMIDISetupFormatErr", "midi"},
    {-10839, "kMIDIServerStartErr", "midi"},
    {-10838, "kMIDIMessageSendErr", "midi"},
    {-10837, "kMIDINoCurrentSetup", "midi"},
    {-10836, "kMIDIWrongPropertyType", "midi"},
    {-10835, "kMIDIUnknownProperty", "midi"},
    {-10834, "kMIDIUnknownEndpoint", "midi"},
    {-10833, "kMIDINoConnection", "midi"},
    {-10832, "kMIDIWrongEndpointType", "midi"},
    {-10831, "kMIDIInvalidPort", "midi"},
    {-10830, "kMIDIInvalidClient", "midi"},
    {-50, "kAudio_ParamError", "general"}};

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

TEST(CheckError, EveryKnownCodeLogsItsNameAtErrorLevel) {
    ASSERT_EQ(std::size(knownStatusCodes), 46u);
    StatusCodeCapture capture;
    std::set<int> lines;
    for (const auto& known : knownStatusCodes) {
        SCOPED_TRACE(known.code);
        capture.sink.clear();
        CheckError(known.code);
        auto records = capture.sink.records();
        ASSERT_EQ(records.size(), 1u);
        auto record = parseCheckErrorRecord(records[0].text);
        EXPECT_EQ(record.content, known.name) << records[0].text;
        EXPECT_EQ(records[0].category, known.category);
        EXPECT_EQ(records[0].subsystem, "com.fennorastudio.RozezEru");
        EXPECT_EQ(records[0].level, LogType::error);
        lines.insert(record.line);
    }
    // Each entry logs from a line of its own.
    EXPECT_EQ(lines.size(), 46u);
}

TEST(CheckError, OtherCodesLogTheirNumber) {
    StatusCodeCapture capture;
    const OSStatus fourCharCode = ('f' << 24) | ('m' << 16) | ('t' << 8) | '?';
    for (OSStatus code :
         {-10873, -10872, -10870, -10869, -10845, -10880, -10829, -49, -51, -1, 1, fourCharCode,
          std::numeric_limits<OSStatus>::min(), std::numeric_limits<OSStatus>::max()}) {
        SCOPED_TRACE(code);
        capture.sink.clear();
        CheckError(code);
        auto records = capture.sink.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(parseCheckErrorRecord(records[0].text).content, std::to_string(code)) << records[0].text;
        EXPECT_EQ(records[0].category, "general");
        EXPECT_EQ(records[0].level, LogType::error);
    }
    capture.sink.clear();
    CheckError(fourCharCode);
    EXPECT_NE(capture.sink.records().at(0).text.find(":1718449215 ("), std::string::npos);
}

TEST(CheckError, SuccessAndSwitchedOffLogNothing) {
    StatusCodeCapture capture;
    CheckError(noErr);
    EXPECT_TRUE(capture.sink.records().empty());

    Settings::loggingEnabled = false;
    for (const auto& known : knownStatusCodes)
        CheckError(known.code);
    CheckError(-10873);
    CheckError(1);
    EXPECT_TRUE(capture.sink.records().empty());
}
