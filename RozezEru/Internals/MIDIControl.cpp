#include "RozezEru/Internals/MIDIControl.h"

namespace rozezeru {

namespace {

// Names by controller number; null where no case carries the number.
constexpr std::array<const char*, 128> midiControlNames = [] {
    std::array<const char*, 128> names{};
    names[0] = "CC #0";
    names[1] = "Modulation Wheel";
    names[2] = "Breath Control";
    names[3] = "CC #3";
    names[4] = "Foot Control";
    names[5] = "Portamento Time";
    names[6] = "Data Entry";
    names[7] = "Main Volume";
    names[8] = "Balance";
    names[9] = "CC #9";
    names[10] = "Stereo Panning";
    names[11] = "Expression Pedal";
    names[12] = "CC #12";
    names[13] = "CC #13";
    names[14] = "CC #14";
    names[15] = "CC #15";
    names[16] = "CC #16";
    names[17] = "CC #17";
    names[18] = "CC #18";
    names[19] = "CC #19";
    names[20] = "CC #20";
    names[21] = "CC #21";
    names[22] = "CC #22";
    names[23] = "CC #23";
    names[24] = "CC #24";
    names[25] = "CC #25";
    names[26] = "CC #26";
    names[27] = "CC #27";
    names[28] = "CC #28";
    names[29] = "CC #29";
    names[30] = "CC #30";
    names[31] = "CC #31";
    names[32] = "CC #32";
    names[33] = "Mod Wheel LSB";
    names[34] = "Breath LSB";
    names[36] = "Foot LSB";
    names[37] = "Portamento LSB";
    names[38] = "Data Entry LSB";
    names[39] = "Main Volume LSB";
    names[40] = "Balance LSB";
    names[42] = "Pan LSB";
    names[43] = "Expression LSB";
    names[44] = "Effect CTRL 1 LSB";
    names[45] = "Effect CTRL 2 LSB";
    names[64] = "Damper Pedal On/Off";
    names[65] = "Portamento On/Off";
    names[66] = "Sustenuto On/Off";
    names[67] = "Soft Pedal On/Off";
    names[70] = "Sound Variation";
    names[71] = "Resonance";
    names[72] = "Release Time";
    names[73] = "Attack Time";
    names[74] = "Cutoff";
    names[75] = "Sound Control 6";
    names[76] = "Sound Control 7";
    names[77] = "Sound Control 8";
    names[78] = "Sound Control 9";
    names[79] = "Sound Control 10";
    names[80] = "GP Button 1";
    names[81] = "GP Button 2";
    names[82] = "GP Button 3";
    names[83] = "GP Button 4";
    names[91] = "Reverb Level";
    names[92] = "Tremolo Level";
    names[93] = "Chorus Level";
    names[94] = "Celeste Level or Detune";
    names[95] = "Phaser Level";
    names[96] = "Data Entry Addition";
    names[97] = "Data Entry Subtraction";
    names[98] = "Non-registered Parameter Number LSB";
    names[99] = "Non-registered Parameter Number MSB";
    names[100] = "Registered Parameter Number LSB";
    names[101] = "Registered Parameter Number MSB";
    names[120] = "All Sounds Off";
    names[121] = "All Controllers Off";
    names[122] = "Local Control On/Off";
    names[123] = "All Notes Off";
    names[124] = "Omni Mode Off";
    names[125] = "Omni Mode On";
    names[126] = "Mono Operation";
    names[127] = "Poly Operation";
    return names;
}();

} // namespace

const std::array<MIDIControl, 81> allMIDIControls = {
    MIDIControl::modulationWheel,
    MIDIControl::breathControl,
    MIDIControl::footControl,
    MIDIControl::portamento,
    MIDIControl::dataEntry,
    MIDIControl::mainVolume,
    MIDIControl::balance,
    MIDIControl::pan,
    MIDIControl::expression,
    MIDIControl::damperOnOff,
    MIDIControl::portamentoOnOff,
    MIDIControl::sustenutoOnOff,
    MIDIControl::softPedalOnOff,
    MIDIControl::soundVariation,
    MIDIControl::resonance,
    MIDIControl::releaseTime,
    MIDIControl::attackTime,
    MIDIControl::cutoff,
    MIDIControl::soundControl6,
    MIDIControl::soundControl7,
    MIDIControl::soundControl8,
    MIDIControl::soundControl9,
    MIDIControl::soundControl10,
    MIDIControl::gpButton1,
    MIDIControl::gpButton2,
    MIDIControl::gpButton3,
    MIDIControl::gpButton4,
    MIDIControl::reverbLevel,
    MIDIControl::tremoloLevel,
    MIDIControl::chorusLevel,
    MIDIControl::celesteLevel,
    MIDIControl::phaserLevel,
    MIDIControl::dataEntryPlus,
    MIDIControl::dataEntryMinus,
    MIDIControl::NrpnLsb,
    MIDIControl::NrpnMsb,
    MIDIControl::RpnLsb,
    MIDIControl::RpnMsb,
    MIDIControl::allSoundsOff,
    MIDIControl::allControllersOff,
    MIDIControl::localControlOnOff,
    MIDIControl::allNotesOff,
    MIDIControl::omniModeOff,
    MIDIControl::omniModeOn,
    MIDIControl::monoOperation,
    MIDIControl::polyOperation,
    MIDIControl::cc0,
    MIDIControl::cc3,
    MIDIControl::cc9,
    MIDIControl::cc12,
    MIDIControl::cc13,
    MIDIControl::cc14,
    MIDIControl::cc15,
    MIDIControl::cc16,
    MIDIControl::cc17,
    MIDIControl::cc18,
    MIDIControl::cc19,
    MIDIControl::cc20,
    MIDIControl::cc21,
    MIDIControl::cc22,
    MIDIControl::cc23,
    MIDIControl::cc24,
    MIDIControl::cc25,
    MIDIControl::cc26,
    MIDIControl::cc27,
    MIDIControl::cc28,
    MIDIControl::cc29,
    MIDIControl::cc30,
    MIDIControl::cc31,
    MIDIControl::cc32,
    MIDIControl::modulationWheelLsb,
    MIDIControl::breathControllerLsb,
    MIDIControl::footControlLsb,
    MIDIControl::portamentoLsb,
    MIDIControl::dataEntryLsb,
    MIDIControl::mainVolumeLsb,
    MIDIControl::balanceLsb,
    MIDIControl::panLsb,
    MIDIControl::expressionLsb,
    MIDIControl::effectControl1Lsb,
    MIDIControl::effectControl2Lsb,
};

std::optional<MIDIControl> midiControlFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue >= int(midiControlNames.size()) || !midiControlNames[std::size_t(rawValue)])
        return std::nullopt;
    return static_cast<MIDIControl>(rawValue);
}

std::string_view description(MIDIControl control) {
    const char* name = midiControlNames[rawValue(control)];
    return name ? std::string_view(name) : std::string_view();
}

} // namespace rozezeru
