// SPDX-License-Identifier: GPL-3.0-or-later
// The output device session: the device opened at start-up by its name, and the user's choice of another.
// (Hot-plug and undelivered messages are provoked for real in test_faults.)
#include "AppFixture.h"

namespace {

using DeviceSessionTest = AppTest;

TEST_F(DeviceSessionTest, StoredDeviceBeyondTheListFallsBackAndIsStored) {
    profile.ints["Options/MIDI Output"] = 7;
    ports.opens[0] = false;
    ASSERT_TRUE(Start());
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(app.m_midiOutDevice, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
    ASSERT_GE(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "MIDI Output Device has been changed to Port B");
    EXPECT_EQ(dialogs.messages[0].caption, "Info");
}

TEST_F(DeviceSessionTest, TheStoredDeviceIsFoundByItsNameWhereverItIsNow) {
    // Another interface was plugged in: "Port B" moved from index 0 to 1.
    ports.names = {"New Interface", "Port B"};
    profile.ints["Options/MIDI Output"] = 0;
    profile.strings["Options/MIDI Output Name"] = "Port B";
    ASSERT_TRUE(Start());
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(app.m_midiOutDevice, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});  // no notice: the same device
}

TEST_F(DeviceSessionTest, AStoredDeviceThatIsGoneIsNeverReplacedSilently) {
    // "Port B" is gone; index 1 now names another instrument, which is used only with the notice.
    ports.names = {"Port A", "Port C"};
    ports.opens = {false, true};
    profile.ints["Options/MIDI Output"] = 1;
    profile.strings["Options/MIDI Output Name"] = "Port B";
    ASSERT_TRUE(Start());
    EXPECT_EQ(ports.openIndex, 1);
    ASSERT_GE(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "MIDI Output Device has been changed to Port C");
    EXPECT_EQ(profile.strings["Options/MIDI Output Name"], "Port C");

    // Choosing a device keeps its name too.
    ports.opens = {true, true};
    dialogs.deviceAnswers = {0};
    app.Devices().OnOutputDevice();
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 0);
    EXPECT_EQ(profile.strings["Options/MIDI Output Name"], "Port A");
    EXPECT_EQ(app.Devices().StoredDevice(), 0);
}

TEST_F(DeviceSessionTest, AFirstStartKeepsTheNameOfTheDeviceItOpenedAndOkWithItChangesNothing) {
    // A fresh profile: the first device is opened, and its name kept beside the index, which stays unwritten.
    ASSERT_TRUE(Start());
    ASSERT_EQ(ports.openIndex, 0);
    EXPECT_EQ(profile.strings["Options/MIDI Output Name"], "Port A");
    EXPECT_FALSE(profile.ints.contains("Options/MIDI Output"));
    // Output Device... with it still selected, OK: the device is not reopened and the profile not written.
    const MapProfile before = profile;
    const int opens = ports.openCalls;
    dialogs.deviceAnswers = {0};
    app.Devices().OnOutputDevice();
    EXPECT_EQ(ports.openCalls, opens);
    EXPECT_EQ(profile.ints, before.ints);
    EXPECT_EQ(profile.strings, before.strings);

    // Ports came and went before the next start: that start looks for the device by its name, not at index 0.
    ports.names = {"Other Synth", "Port A"};
    EXPECT_EQ(app.Devices().StoredDevice(), 1);
}

TEST_F(DeviceSessionTest, NoDevicesStartsSilentlyAndEdits) {
    ports.names.clear();
    ports.opens.clear();
    profile.ints["Options/MIDI Output"] = 3;
    ASSERT_TRUE(Start());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Transmit all data from Default"});
    EXPECT_EQ(profile.intWrites, 0);
    EXPECT_EQ(app.m_midiOutDevice, 3);
    app.form().UserMovedSlider(ctl::Dco1Amp, 99);
    EXPECT_TRUE(ports.bytes.empty());
    EXPECT_EQ(pause.count, 66 + 2);  // dropped sends still pause
}

TEST_F(DeviceSessionTest, OutputDeviceChoice) {
    ports.names.push_back("Port C");
    ports.opens.push_back(false);
    ASSERT_TRUE(Start());
    dialogs.messages.clear();
    const int opensBefore = ports.openCalls;

    app.Devices().OnOutputDevice();  // Cancel
    dialogs.deviceAnswers = {0};
    app.Devices().OnOutputDevice();  // the current device: nothing at all
    EXPECT_EQ(ports.openCalls, opensBefore);
    EXPECT_EQ(dialogs.deviceRequests.back(),
              (std::pair<std::vector<std::string>, int>{{"Port A", "Port B", "Port C"}, 0}));

    dialogs.deviceAnswers = {2};
    app.Devices().OnOutputDevice();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port C could not be opened, reverting to Port A");
    EXPECT_EQ(dialogs.messages[0].caption, "Info");
    EXPECT_EQ(ports.openIndex, 0);
    EXPECT_EQ(app.m_midiOutDevice, 0);
    EXPECT_EQ(profile.intWrites, 0);

    dialogs.deviceAnswers = {1};
    app.Devices().OnOutputDevice();
    EXPECT_EQ(ports.openIndex, 1);
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 1);
}

TEST_F(DeviceSessionTest, FailedSwitchFromAVanishedDeviceStillNamesBoth) {
    ports.opens[0] = false;
    ports.opens[1] = false;
    profile.ints["Options/MIDI Output"] = 9;
    ASSERT_TRUE(Start());
    dialogs.messages.clear();
    dialogs.deviceAnswers = {1};
    app.Devices().OnOutputDevice();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Port B could not be opened, reverting to (unknown device 9)");
    EXPECT_EQ(profile.ints["Options/MIDI Output"], 9);
}

}  // namespace
