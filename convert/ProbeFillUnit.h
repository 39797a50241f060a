#pragma once

// The probe run's answer put into the convert command: the "Same As Input"
// choices of the audio page take the input's own sample rate, channel count
// and bit rate.

#include <string>
#include <string_view>

class TToolCommand;

// The number of channels a layout text of the probe stands for: "mono" 1,
// "stereo" 2, "5.1", "5.1(side)" and "5:1" 6, "quad" 4, "7.1" 8,
// "3 channels" 3, ...; 0 when the text names no layout this program knows.
int ChannelCountFromLayout(std::string_view layout);

// Fills the "Same As Input" placeholders from the probe result text and turns
// "-ab" into "-aq" for an OGG output. A channel layout that cannot be read
// leaves "[CHANNEL]" in place: the tool then keeps the input's channels.
void ApplyProbeResult(TToolCommand& command, const std::string& probeResult,
                      std::string_view extension);
