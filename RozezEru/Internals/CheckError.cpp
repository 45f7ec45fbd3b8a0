#include "RozezEru/Internals/CheckError.h"

#include "RozezEru/Internals/Log.h"

#include <source_location>

namespace rozezeru {

namespace {

constexpr const char* checkErrorFunction = "CheckError(_:)";

// The location defaults to the caller's, so each table entry logs with a line of its own.
void logGeneralStatus(const char* name, std::source_location where = std::source_location::current()) {
    Log(LogSite(checkErrorFunction, OSLog::general(), LogType::error, where), name);
}

void logMidiStatus(const char* name, std::source_location where = std::source_location::current()) {
    Log(LogSite(checkErrorFunction, OSLog::midi(), LogType::error, where), name);
}

} // namespace

void CheckError(OSStatus error) {
    if (error == noErr) return;
    // Apart from -50 the codes are dense from -10879 to -10830, so this is a jump table.
    switch (error) {
    case -50:
        return logGeneralStatus("kAudio_ParamError");
    case -10830:
        return logMidiStatus("kMIDIInvalidClient");
    case -10831:
        return logMidiStatus("kMIDIInvalidPort");
    case -10832:
        return logMidiStatus("kMIDIWrongEndpointType");
    case -10833:
        return logMidiStatus("kMIDINoConnection");
    case -10834:
        return logMidiStatus("kMIDIUnknownEndpoint");
    case -10835:
        return logMidiStatus("kMIDIUnknownProperty");
    case -10836:
        return logMidiStatus("kMIDIWrongPropertyType");
    case -10837:
        return logMidiStatus("kMIDINoCurrentSetup");
    case -10838:
        return logMidiStatus("kMIDIMessageSendErr");
    case -10839:
        return logMidiStatus("kMIDIServerStartErr");
    case -10840:
        return logMidiStatus("kMIDISetupFormatErr");
    case -10841:
        return logMidiStatus("kMIDIWrongThread");
    case -10842:
        return logMidiStatus("kMIDIObjectNotFound");
    case -10843:
        return logMidiStatus("kMIDIIDNotUnique");
    case -10844:
        return logMidiStatus(
            "kMIDINotPermitted: Have you enabled the audio background mode in your ios app?");
    case -10846:
        return logGeneralStatus("kAudioToolboxErr_InvalidSequenceType");
    case -10847:
        return logGeneralStatus("kAudioUnitErr_Unauthorized");
    case -10848:
        return logGeneralStatus("kAudioUnitErr_InvalidOfflineRender");
    case -10849:
        return logGeneralStatus("kAudioUnitErr_Initialized");
    case -10850:
        return logGeneralStatus("kAudioUnitErr_PropertyNotInUse");
    case -10851:
        return logGeneralStatus("kAudioUnitErr_InvalidPropertyValue");
    case -10852:
        return logGeneralStatus("kAudioToolboxErr_InvalidPlayerState");
    case -10853:
        return logGeneralStatus("kAudioToolboxErr_InvalidEventType");
    case -10854:
        return logGeneralStatus("kAudioToolboxErr_NoSequence");
    case -10855:
        return logGeneralStatus("kAudioToolboxErr_IllegalTrackDestination");
    case -10856:
        return logGeneralStatus("kAudioToolboxErr_StartOfTrack");
    case -10857:
        return logGeneralStatus("kAudioToolboxErr_EndOfTrack");
    case -10858:
        return logGeneralStatus("kAudioToolboxErr_TrackNotFound");
    case -10859:
        return logGeneralStatus("kAudioToolboxErr_TrackIndexError");
    case -10860:
        return logGeneralStatus("kAUGraphErr_NodeNotFound");
    case -10861:
        return logGeneralStatus("kAUGraphErr_InvalidConnection");
    case -10862:
        return logGeneralStatus("kAUGraphErr_OutputNodeErr");
    case -10863:
        return logGeneralStatus("kAUGraphErr_CannotDoInCurrentContext");
    case -10864:
        return logGeneralStatus("kAUGraphErr_InvalidAudioUnit");
    case -10865:
        return logGeneralStatus("kAudioUnitErr_PropertyNotWritable");
    case -10866:
        return logGeneralStatus("kAudioUnitErr_InvalidScope");
    case -10867:
        return logGeneralStatus("kAudioUnitErr_Uninitialized");
    case -10868:
        return logGeneralStatus("kAudioUnitErr_FormatNotSupported");
    case -10871:
        return logGeneralStatus("kAudioUnitErr_InvalidFile");
    case -10874:
        return logGeneralStatus("kAudioUnitErr_TooManyFramesToProcess");
    case -10875:
        return logGeneralStatus("kAudioUnitErr_FailedInitialization");
    case -10876:
        return logGeneralStatus("kAudioUnitErr_NoConnection");
    case -10877:
        return logGeneralStatus("kAudioUnitErr_InvalidElement");
    case -10878:
        return logGeneralStatus("kAudioUnitErr_InvalidParameter");
    case -10879:
        return logGeneralStatus("kAudioUnitErr_InvalidProperty");
    default:
        Log(LogSite(checkErrorFunction, OSLog::general(), LogType::error), error);
        return;
    }
}

} // namespace rozezeru
