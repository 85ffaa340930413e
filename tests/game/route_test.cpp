// How the game reaches the default devices: the check of a PulseAudio device
// list, on lists as the library builds them and on a real server whose
// devices share a description, and the route taken when the list has lost a
// default.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <game/audio_route.h>

#include <headless/servers.h>

namespace {

using arrowsong::findPulseDefaults;

RtAudio::DeviceInfo device(const char *name, unsigned in, unsigned out, bool defaultIn,
                           bool defaultOut) {
    RtAudio::DeviceInfo info;
    info.probed = true;
    info.name = name;
    info.inputChannels = in;
    info.outputChannels = out;
    info.isDefaultInput = defaultIn;
    info.isDefaultOutput = defaultOut;
    return info;
}

TEST(PulseDefaults, FlaggedDevicesAreTheDefaults) {
    // PipeWire: each sink and its monitor make one device with both ways.
    const auto found = findPulseDefaults(
        {device("Speaker", 1, 1, false, true), device("Voice", 1, 1, true, false)});
    EXPECT_TRUE(found.inputKnown);
    EXPECT_TRUE(found.outputKnown);
    EXPECT_EQ(found.input, 1u);
    EXPECT_EQ(found.output, 0u);
    EXPECT_TRUE(found.covers({}));
}

TEST(PulseDefaults, AMissingOrMisplacedFlagIsALostDefault) {
    // The microphone overwritten by a monitor of the same description.
    auto found = findPulseDefaults(
        {device("Built-in", 1, 1, false, true), device("Monitor of Other", 1, 0, false, false)});
    EXPECT_FALSE(found.inputKnown);
    EXPECT_TRUE(found.outputKnown);
    EXPECT_FALSE(found.covers({}));
    EXPECT_TRUE(found.covers({false, true})); // enough for output alone
    // A flag on a device without channels that way addresses nothing.
    found = findPulseDefaults({device("Odd", 0, 2, true, false), device("Out", 0, 2, false, true)});
    EXPECT_FALSE(found.inputKnown);
    // Two flags cannot both be the server's one default.
    found = findPulseDefaults({device("A", 1, 0, true, false), device("B", 1, 0, true, false),
                               device("Out", 0, 1, false, true)});
    EXPECT_FALSE(found.inputKnown);
    // A device that could not be probed says nothing.
    RtAudio::DeviceInfo unprobed = device("Gone", 1, 1, true, true);
    unprobed.probed = false;
    found = findPulseDefaults({unprobed});
    EXPECT_FALSE(found.inputKnown);
    EXPECT_FALSE(found.outputKnown);
}

// A real PulseAudio server: a microphone described "Built-in", then a source
// of the same description that is not the default, as PipeWire makes of a
// sink's monitor.
class SharedDescription : public ::testing::Test {
  protected:
    headless::PulseServer pulse_{
        {"module-null-sink sink_name=out sink_properties=device.description=Speaker",
         "module-null-sink sink_name=voice sink_properties=device.description=Voice",
         "module-remap-source source_name=mic master=voice.monitor "
         "source_properties=device.description=Built-in",
         "module-remap-source source_name=look_alike master=out.monitor "
         "source_properties=device.description=Built-in"}};
    std::string server_;

    void SetUp() override {
        ASSERT_TRUE(pulse_.ok()) << "pulseaudio did not start";
        server_ = "unix:" + pulse_.runtimeDir() + "/pulse/native";
        ::setenv("PULSE_SERVER", server_.c_str(), 1);
        ::setenv("JACK_NO_START_SERVER", "1", 1);
        pactl({"set-default-sink", "out"});
        pactl({"set-default-source", "mic"});
    }
    void TearDown() override { ::unsetenv("PULSE_SERVER"); }

    void pactl(std::vector<std::string> args) {
        args.insert(args.begin(), "pactl");
        const pid_t pid = headless::spawnChild(args, {"PULSE_SERVER=" + server_});
        ASSERT_EQ(headless::waitChild(pid, 10000), 0) << args[1];
    }

    struct Attempt {
        RtAudio::Api api;
        RtAudioStreamFlags flags;
    };
};

std::vector<RtAudio::DeviceInfo> pulseDevices() {
    RtAudio audio(RtAudio::LINUX_PULSE);
    std::vector<RtAudio::DeviceInfo> devices;
    for (unsigned id = 0; id < audio.getDeviceCount(); ++id)
        devices.push_back(audio.getDeviceInfo(id));
    return devices;
}

TEST_F(SharedDescription, TheListLosesTheMicrophoneAndTheCheckSeesIt) {
    const auto devices = pulseDevices();
    const auto found = findPulseDefaults(devices);
    EXPECT_FALSE(found.inputKnown);
    ASSERT_TRUE(found.outputKnown);
    EXPECT_EQ(devices[found.output].name, "Speaker");
    // With the look-alike as the default the flag comes back, on the device
    // that now addresses it.
    pactl({"set-default-source", "look_alike"});
    const auto again = findPulseDefaults(pulseDevices());
    EXPECT_TRUE(again.inputKnown);
}

TEST_F(SharedDescription, TheOpenerGetsTheDefaultInputAsInputAndTheOutputAsOutput) {
    // With the look-alike as the default source nothing is lost, and the
    // route is PulseAudio's own list.
    pactl({"set-default-source", "look_alike"});
    const auto devices = pulseDevices();
    std::string in, out;
    auto route =
        arrowsong::openOnDefaults(std::make_unique<RtAudio>(RtAudio::LINUX_PULSE), {},
                                  [&](RtAudio &, RtAudio::StreamParameters *output,
                                      RtAudio::StreamParameters *input, RtAudio::StreamOptions &) {
                                      ASSERT_TRUE(output != nullptr && input != nullptr);
                                      out = devices.at(output->deviceId).name;
                                      in = devices.at(input->deviceId).name;
                                      EXPECT_TRUE(devices.at(input->deviceId).isDefaultInput);
                                      EXPECT_TRUE(devices.at(output->deviceId).isDefaultOutput);
                                  });
    ASSERT_TRUE(route.opened);
    EXPECT_EQ(in, "Built-in");
    EXPECT_EQ(out, "Speaker");
}

TEST_F(SharedDescription, AlsaDefaultReachesTheRunningServerOnly) {
    EXPECT_TRUE(arrowsong::alsaDefaultReachesServer());
    ::setenv("PULSE_SERVER", "unix:/nonexistent", 1);
    EXPECT_FALSE(arrowsong::alsaDefaultReachesServer());
}

TEST_F(SharedDescription, TheRouteIsAlsasDefaultDeviceOrTheMessage) {
    std::vector<Attempt> attempts;
    bool alsaOpens = true;
    const arrowsong::StreamOpener open = [&](RtAudio &audio, RtAudio::StreamParameters *output,
                                             RtAudio::StreamParameters *input,
                                             RtAudio::StreamOptions &options) {
        attempts.push_back({audio.getCurrentApi(), options.flags});
        EXPECT_NE(output, nullptr);
        EXPECT_NE(input, nullptr);
        if (audio.getCurrentApi() == RtAudio::LINUX_ALSA && !alsaOpens)
            throw RtAudioError("RtApiAlsa: cannot open");
    };
    auto route =
        arrowsong::openOnDefaults(std::make_unique<RtAudio>(RtAudio::LINUX_PULSE), {}, open);
    ASSERT_TRUE(route.opened);
    ASSERT_EQ(attempts.size(), 1u) << "the lost list itself is never opened";
    EXPECT_EQ(attempts[0].api, RtAudio::LINUX_ALSA);
    EXPECT_EQ(attempts[0].flags & RTAUDIO_ALSA_USE_DEFAULT, RTAUDIO_ALSA_USE_DEFAULT);
    EXPECT_EQ(route.audio->getCurrentApi(), RtAudio::LINUX_ALSA);
    EXPECT_EQ(route.note, "Audio through ALSA's default device, since PulseAudio's device list "
                          "has lost the default input (devices sharing a description).");

    attempts.clear();
    alsaOpens = false;
    route = arrowsong::openOnDefaults(std::make_unique<RtAudio>(RtAudio::LINUX_PULSE), {}, open);
    EXPECT_FALSE(route.opened);
    EXPECT_TRUE(route.defaultsLost);
    ASSERT_EQ(route.failures.size(), 1u);
    EXPECT_EQ(route.failures[0].getMessage(), "RtApiAlsa: cannot open");
    ASSERT_NE(route.audio, nullptr) << "the first object comes back to be closed";
    EXPECT_EQ(route.audio->getCurrentApi(), RtAudio::LINUX_PULSE);

    // An input-only stream needs only the input, which is still lost; an
    // output-only one opens on PulseAudio itself, without a note.
    attempts.clear();
    alsaOpens = true;
    route =
        arrowsong::openOnDefaults(std::make_unique<RtAudio>(RtAudio::LINUX_PULSE), {false, true},
                                  [&](RtAudio &audio, auto *output, auto *input, auto &) {
                                      EXPECT_NE(output, nullptr);
                                      EXPECT_EQ(input, nullptr);
                                      attempts.push_back({audio.getCurrentApi(), 0});
                                  });
    ASSERT_TRUE(route.opened);
    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_EQ(attempts[0].api, RtAudio::LINUX_PULSE);
    EXPECT_EQ(route.note, "");
}

} // namespace
