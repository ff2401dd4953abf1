// The register console in the real window against the box simulator: the
// register commands and their packets, the bytes the box sends, the bit row,
// the long write, the scaler, the refusal during a burn, the output's bound,
// and the control line's worker with its reply, Cancel and shutdown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/trace.h"
#include "boxsim/box_sim.h"
#include "cli/burner_process.h"
#include "dbkit/FXMessageSeam.h"
#include "link/console_packets.h"
#include "link/ports.h"
#include "shell/console_page.h"
#include "shell/file_dialog_seam.h"
#include "shell/main_window.h"
#include "shell/port_keeper.h"
#include "shell/window_ids.h"
#include "shell/window_parts.h"
#include "support/fox_app.h"
#include "support/simulated_box.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "text/catalogue.h"

using namespace FX;

namespace {

using Bytes = std::vector<uint8_t>;

class ConsolePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tv::set_trace_enabled(false);
    sim.set_control_turnaround_ms(0);
    std::string error;
    ASSERT_TRUE(box_.start(&error)) << error;
    tv::set_message_hook([this](const tv::MessageRecord& record) {
      messages.push_back(record);
      return static_cast<FXuint>(MBOX_CLICKED_OK);
    });
    tv::reset_catalogue_for_tests();
    window = new X_SRV_K_Window(testsupport::test_app());
    window->create();
    ASSERT_EQ(box_.open_programming_port(window->lines().programming), tv::kOpened);
    window->addPollTimer();  // watches the port just opened, as the next tick would
  }

  void TearDown() override {
    delete window;  // its lines close with it
    testsupport::pump_gui();
    tv::set_message_hook({});
    tv::set_pause_scale_percent(100);
    tv::reset_catalogue_for_tests();
  }

  tv::ConsolePage& page() { return window->console(); }
  long command(FXSelector id, FXObject* sender = nullptr) {
    return window->handle(sender, FXSEL(SEL_COMMAND, id), nullptr);
  }
  std::string output() {
    FXString text = page().output->getText();
    return std::string(text.text(), text.length());
  }
  std::string data() { return page().dataText.text(); }
  std::string bitRow() {
    std::string row;
    for (int i = 0; i < tv::kBitCount; ++i) {
      std::string label = page().bitLabels[i]->getText().text();
      const bool checked = page().bitChecks[i]->getCheck() == TRUE;
      EXPECT_EQ(label, checked ? "1" : "0") << "label and box of position " << i << " disagree";
      row += checked ? '1' : '0';
    }
    return row;
  }
  bool waitForOutput(const std::string& wanted, int timeout_ms = 3000) {
    return testsupport::run_gui_until([&] { return output().find(wanted) != std::string::npos; }, timeout_ms);
  }
  bool waitForReceived(size_t count) {
    return testsupport::wait_for([&] { return sim.received().size() >= count; }, 3000);
  }
  // The Data field committed the way Enter commits it: the combo box hands its
  // text to its data target, which updates the value and issues command 80.
  void commitDataField(const char* text) {
    page().dataCombo->setText(text);
    page().dataCombo->handle(nullptr, FXSEL(SEL_COMMAND, FXComboBox::ID_TEXT), const_cast<char*>(text));
  }
  void toggleBit(int position, bool on) {
    page().bitChecks[position]->setCheck(on);
    command(tv::ID_BIT_TOGGLED, page().bitChecks[position]);
  }

  testsupport::SimulatedBox box_{"console-ports"};
  boxsim::BoxSimulator& sim = box_.sim();
  X_SRV_K_Window* window = nullptr;
  std::vector<tv::MessageRecord> messages;
};

const Bytes kInitialWrite = {0x9C, 0x63, 0, 0, 0x77, 0x07, 0x00, 0xFE, 0, 0, 0, 0x0D};

TEST_F(ConsolePageTest, WriteInI2cModeShowsItsLineSendsThePacketAndLeavesTheEchoToThePoll) {
  command(tv::ID_CONSOLE_WRITE);
  EXPECT_EQ(output().substr(0, 18), "w 0 fe 00 0007 00\n");
  ASSERT_TRUE(waitForReceived(12));
  EXPECT_EQ(sim.received(), kInitialWrite);
  EXPECT_TRUE(window->pollTimerArmed()) << "the poll timer is back after the exchange";
  // The box's echo comes in through the poll timer, one line per byte.
  ASSERT_TRUE(waitForOutput("0d 013 <.> 00001101\n"));
  EXPECT_EQ(page().outputLineCount(), 13);
  EXPECT_EQ(data(), "0D");
  EXPECT_TRUE(messages.empty());
}

TEST_F(ConsolePageTest, OsdModeConsumesTheEchoAndReadBringsTheRegisterBack) {
  page().slaveAdrText = "B4 OSD";
  page().cmdText = "10";  // B4 32 would be the font write, not a register
  page().adrText = "1234";
  page().dataText = "5A";
  command(tv::ID_CONSOLE_WRITE);
  EXPECT_EQ(sim.received(), Bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x10, 0x12, 0x34, 0x5A, 0, 0x0D}));
  EXPECT_TRUE(messages.empty()) << "the echo matched";
  sim.clear_received();

  command(tv::ID_CONSOLE_READ);
  EXPECT_EQ(sim.received(), Bytes({0x90, 0x6F, 0, 0, 0x72, 0xB4, 0x10, 0x12, 0x34, 0, 0, 0x0D}));
  // Only what follows the read's echo reaches the output: the register value.
  ASSERT_TRUE(waitForOutput("5a 090 <Z> 01011010\n"));
  EXPECT_EQ(output(), "w 1 b4 10 1234 5a\nr 1 b4 10 1234 5a\n5a 090 <Z> 01011010\n");
  EXPECT_EQ(data(), "5A");
  EXPECT_TRUE(messages.empty());
}

TEST_F(ConsolePageTest, I2cReadReturnsTheValueWrittenBefore) {
  page().dataText = "3C";
  command(tv::ID_CONSOLE_WRITE);
  ASSERT_TRUE(waitForOutput("0d 013"));
  page().output->removeText(0, page().output->getLength());
  command(tv::ID_CONSOLE_READ);
  EXPECT_EQ(sim.received().back(), 0x0D);
  // Echo (12 bytes) then the register's value.
  ASSERT_TRUE(waitForOutput("3c 060 <<> 00111100\n"));
  EXPECT_EQ(data(), "3C");
  EXPECT_EQ(bitRow(), "00111100");
}

TEST_F(ConsolePageTest, RefusedOsdEchoShowsTheErrorBox) {
  boxsim::Faults faults;
  faults.refuse_first = 1;
  sim.set_faults(faults);
  page().slaveAdrText = "B4 OSD";
  command(tv::ID_CONSOLE_WRITE);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(messages[0].text, "onReadWrite w\n\n Error 4");
  EXPECT_TRUE(window->pollTimerArmed());
}

TEST_F(ConsolePageTest, ClosedPortSendsAndShowsNothing) {
  window->lines().programming.close();
  command(tv::ID_CONSOLE_WRITE);
  command(tv::ID_CONSOLE_READ);
  EXPECT_EQ(output(), "");
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(window->pollTimerArmed());
}

TEST_F(ConsolePageTest, ByteFromTheBoxShowsItsLineDataAndBits) {
  sim.send_raw({0x41});
  ASSERT_TRUE(waitForOutput("41 065 <A> 01000001\n"));
  EXPECT_EQ(output(), "41 065 <A> 01000001\n");
  EXPECT_EQ(data(), "41");
  EXPECT_EQ(bitRow(), "01000001");
  // Every byte keeps its columns, whatever its character: the box's bytes
  // are shown in its code page, control characters as a dot.
  sim.send_raw({0x00, 0x1F, 0x80, 0x9C, 0xC3, 0xE9, 0xF0, 0xFF, 0x0A, 0x80});
  ASSERT_TRUE(testsupport::run_gui_until([&] { return page().outputLineCount() == 11; }, 3000));
  EXPECT_EQ(output(),
            "41 065 <A> 01000001\n"
            "00 000 <.> 00000000\n"
            "1f 031 <.> 00011111\n"
            "80 128 <\u0402> 10000000\n"
            "9c 156 <\u045A> 10011100\n"
            "c3 195 <\u0413> 11000011\n"
            "e9 233 <\u0439> 11101001\n"
            "f0 240 <\u0440> 11110000\n"
            "ff 255 <\u044F> 11111111\n"
            "0a 010 <.> 00001010\n"
            "80 128 <\u0402> 10000000\n");
  EXPECT_EQ(data(), "80") << "the last byte wins";
  EXPECT_EQ(bitRow(), "10000000");
  command(tv::ID_CONSOLE_CLEAR);
  EXPECT_EQ(output(), "");
  EXPECT_EQ(page().outputLineCount(), 0);
}

TEST_F(ConsolePageTest, OutputKeepsOnlyTheNewestLines) {
  Bytes burst(tv::kOutputLineLimit + 1000);
  for (size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<uint8_t>(i);
  sim.send_raw(burst);
  const uint8_t last = burst.back();
  ASSERT_TRUE(testsupport::run_gui_until(
      [&] {
        return data() == std::string(FXStringFormat("%02X", last).text()) &&
               page().output->countLines(0, page().output->getLength()) >= tv::kOutputLineLimit;
      },
      10000));
  EXPECT_EQ(page().outputLineCount(), tv::kOutputLineLimit);
  const std::string text = output();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), tv::kOutputLineLimit);
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), tv::received_byte_line(burst[1000]));
}

TEST_F(ConsolePageTest, BitBoxesSetTheDataText) {
  toggleBit(0, true);
  EXPECT_EQ(data(), "80");
  EXPECT_EQ(page().bitLabels[0]->getText(), "1");
  toggleBit(0, false);
  toggleBit(7, true);
  EXPECT_EQ(data(), "01");
  toggleBit(7, false);
  EXPECT_EQ(data(), "00");
  EXPECT_EQ(bitRow(), "00000000");
}

TEST_F(ConsolePageTest, CommittedDataTextShowsItsLowByteInTheBitRow) {
  commitDataField("1A5");
  EXPECT_EQ(data(), "1A5");
  EXPECT_EQ(bitRow(), "10100101");
  commitDataField("xyz");
  EXPECT_EQ(bitRow(), "00000000");
  page().dataText = "C3";
  command(tv::ID_SHOW_BITS_AGAIN);
  EXPECT_EQ(bitRow(), "11000011");
}

TEST_F(ConsolePageTest, WriteStrSendsBothListsAsPackets) {
  page().dataStrText = "b4 32 00 10";
  page().dataStr2Text = "1,2,3,4,5,6";
  command(tv::ID_CONSOLE_WRITE_STR);
  Bytes expected = {0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x32, 0x00, 0x10, 0, 0, 0x0D,
                    0x90, 0x6F, 0, 0, 0x77, 1,    2,    3,    4,    5, 6, 0x0D};
  EXPECT_EQ(sim.received(), expected);
  EXPECT_EQ(output(), "") << "the long write shows nothing itself";
}

// tvbox-reg on a box of its own, by the device path of its line.
clitest::Finished run_reg(testsupport::SimulatedBox& box, std::vector<std::string> args) {
  clitest::Launch launch;
  launch.program = std::string(TVBOX_BINARY_DIR) + "/src/tvbox-reg";
  args.insert(args.begin(), {"-p", box.sim().programming_path()});
  return clitest::run_burner(args, launch, 30000);
}

// The window's WiWoNiNo and tvbox-reg's scaler, from one table of inputs,
// write the same ten packets and leave the same ten registers.
TEST_F(ConsolePageTest, WiWoNiNoAndTvboxRegScalerWriteTheSameTenRegisters) {
  tv::set_pause_scale_percent(10);
  testsupport::SimulatedBox other{"console-scaler"};
  std::string error;
  ASSERT_TRUE(other.start(&error)) << error;
  struct Case {
    int wi, wo, ni, no, wosz;
  };
  const Case cases[] = {{720, 720, 576, 864, 10}, {704, 640, 480, 1000, 37}};
  for (const Case& c : cases) {
    sim.clear_received();
    other.sim().clear_received();
    page().wi = c.wi;
    page().wo = c.wo;
    page().ni = c.ni;
    page().no = c.no;
    page().wosz = c.wosz;
    command(tv::ID_WI_WO_NI_NO);
    ASSERT_EQ(sim.received().size(), 120u);
    ASSERT_TRUE(testsupport::wait_for([&] { return sim.stats().packets >= 10; }, 3000));
    EXPECT_TRUE(window->pollTimerArmed());
    clitest::Finished run =
        run_reg(other, {"scaler", std::to_string(c.wi), std::to_string(c.wo), std::to_string(c.ni),
                        std::to_string(c.no), std::to_string(c.wosz)});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(other.sim().received(), sim.received()) << "Wo " << c.wo;
    const auto window_registers = sim.memories().i2c[0xFE];
    const auto reg_registers = other.sim().memories().i2c[0xFE];
    for (int i = 0; i < 10; ++i) {
      ASSERT_EQ(window_registers.count(0xD0 + i), 1u) << i;
      EXPECT_EQ(reg_registers.at(0xD0 + i), window_registers.at(0xD0 + i))
          << "register " << std::hex << 0xD0 + i;
    }
  }
  // The first row's worked example, register by register.
  const uint8_t expected[10] = {0xBB, 0x3B, 0x4B, 0x00, 0x10, 0x11, 0xD0, 0x02, 0x90, 0x00};
  tv::ScalerValues values;
  ASSERT_TRUE(tv::compute_scaler(720, 720, 576, 864, 10, &values, nullptr));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(values.registers[i], expected[i]);
}

std::string file_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The record of a session (I2C Write and Read, an OSD Write, a WriteSTR)
// holds every packet and every answer byte with its time; played back with
// tvbox-reg --script it sends the same packets again. "Save output..."
// writes the output area to the file the dialog names.
TEST_F(ConsolePageTest, TheRecordPlaysBackWithTvboxRegAndTheOutputIsSaved) {
  testsupport::TempDir state{"console-state"};
  testsupport::ScopedEnv xdg("XDG_STATE_HOME", state.path().c_str());
  command(tv::ID_CONSOLE_RECORD);
  ASSERT_TRUE(page().recording()) << (messages.empty() ? "" : messages[0].text);
  EXPECT_EQ(page().recordCheck->getCheck(), TRUE);
  const std::string path = page().recordPath();
  EXPECT_EQ(path.rfind(state.path() + "/tvbox/logs/console-", 0), 0u) << path;
  EXPECT_EQ(path.substr(path.size() - 9), "-com3.txt");

  page().dataText = "3C";
  command(tv::ID_CONSOLE_WRITE);
  ASSERT_TRUE(waitForOutput("0d 013"));
  command(tv::ID_CONSOLE_CLEAR);  // the write's echo holds 3c too: only the read's answer may count
  command(tv::ID_CONSOLE_READ);
  ASSERT_TRUE(waitForOutput("3c 060 <<> 00111100\n"));
  page().slaveAdrText = "B4 OSD";
  page().cmdText = "10";
  page().adrText = "1234";
  page().dataText = "5A";
  command(tv::ID_CONSOLE_WRITE);
  page().dataStrText = "b4 32 00 10";
  page().dataStr2Text = "1,2";
  command(tv::ID_CONSOLE_WRITE_STR);
  command(tv::ID_CONSOLE_RECORD);
  EXPECT_FALSE(page().recording());
  EXPECT_EQ(page().recordCheck->getCheck(), FALSE);
  const Bytes sent = sim.received();
  ASSERT_EQ(sent.size(), 5u * 12u);

  const std::string record = file_text(path);
  std::vector<std::string> commands;
  std::istringstream in(record);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') commands.push_back(line);
  EXPECT_EQ(commands, std::vector<std::string>({"write fe 07 3c", "read fe 07", "write osd 1234 5a b4 10",
                                                "writestr b4,32,00,10 01,02"}));
  // Each packet before its script line; the read's echo ends in 0d and its
  // value follows; the OSD echo the console checked itself is there too.
  const std::string time = "# \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ";
  const std::string timed[] = {
      time + "sent 9c 63 00 00 77 07 3c fe 00 00 00 0d\nwrite fe 07 3c\n",
      time + "received 0d 013 <\\.> 00001101\n" + time + "received 3c 060 <<> 00111100\n",
      time + "echo 90 144 <[^>]+> 10010000\n",
      time + "sent 90 6f 00 00 77 b4 32 00 10 00 00 0d\n" + time +
          "sent 90 6f 00 00 77 01 02 00 00 00 00 0d\n",
  };
  for (const std::string& pattern : timed)
    EXPECT_TRUE(std::regex_search(record, std::regex(pattern))) << pattern << "\n" << record;

  testsupport::SimulatedBox other{"console-replay"};
  std::string error;
  ASSERT_TRUE(other.start(&error)) << error;
  clitest::Finished replay = run_reg(other, {"--script", path});
  EXPECT_EQ(replay.exit_code, 0) << replay.err;
  EXPECT_EQ(other.sim().received(), sent);

  const std::string saved = state.file("output.txt");
  tv::set_file_dialog_hook([&](const tv::FileDialogRequest& request, std::string* chosen) {
    EXPECT_TRUE(request.save);
    *chosen = saved;
    return true;
  });
  command(tv::ID_CONSOLE_SAVE_OUTPUT);
  tv::set_file_dialog_hook({});
  EXPECT_EQ(file_text(saved), output());
  EXPECT_NE(output().find("3c 060 <<> 00111100"), std::string::npos);
  EXPECT_TRUE(messages.empty());
}

TEST_F(ConsolePageTest, WiWoNiNoWithZeroSendsNothingAndSaysWhy) {
  page().wo = 720;
  page().no = 0;
  command(tv::ID_WI_WO_NI_NO);
  page().wo = 0;
  page().no = 864;
  command(tv::ID_WI_WO_NI_NO);
  EXPECT_TRUE(sim.received().empty());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_NE(messages[0].text.find("No is 0"), std::string::npos);
  EXPECT_NE(messages[1].text.find("Wo is 0"), std::string::npos);
}

TEST_F(ConsolePageTest, EveryRegisterCommandIsRefusedWhileABurnOwnsThePort) {
  window->lines().use.setProgrammingWorker(true);
  page().wo = 720;
  page().no = 864;
  for (FXSelector id :
       {tv::ID_CONSOLE_WRITE, tv::ID_CONSOLE_READ, tv::ID_CONSOLE_WRITE_STR, tv::ID_WI_WO_NI_NO}) {
    command(id);
  }
  ASSERT_EQ(messages.size(), 4u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.caption, "Error");
    EXPECT_NE(message.text.find("burn is running"), std::string::npos) << message.text;
  }
  EXPECT_TRUE(sim.received().empty());
  EXPECT_EQ(output(), "");
  // Nor does the poll take the burn's answers away from it.
  sim.send_raw({0x41});
  uint8_t byte = 0;
  EXPECT_EQ(window->lines().programming.read(&byte, 1, 2000), 1);
  EXPECT_EQ(byte, 0x41);
  testsupport::pump_gui();
  EXPECT_EQ(output(), "");
}

// The box's line goes away: the lamp turns black once, the window says so,
// and the dead line is closed instead of being read on every wake-up.
TEST_F(ConsolePageTest, LineThatHangsUpIsDroppedOnce) {
  boxsim::Faults faults;
  faults.vanish_after = 1;
  sim.set_faults(faults);
  window->setPortLamp(true);
  ASSERT_TRUE(window->portWatched());
  command(tv::ID_CONSOLE_WRITE);
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !window->lines().programming.is_open(); }, 5000));
  EXPECT_EQ(window->portIndicator->getIcon(), window->icons().lampBlack);
  EXPECT_FALSE(window->portWatched());
  const std::string status = window->statusBar->getStatusLine()->getNormalText().text();
  EXPECT_EQ(status.rfind("Hung up: ", 0), 0u) << status;
  EXPECT_EQ(window->handle(nullptr, FXSEL(SEL_TIMEOUT, tv::ID_POLL_TIMER), nullptr), 0)
      << "a later tick finds nothing to do";
  EXPECT_TRUE(messages.empty());
}

class ControlLineTest : public ConsolePageTest {
 protected:
  void SetUp() override {
    ConsolePageTest::SetUp();
    ASSERT_EQ(tv::xs_open(window->lines().control, 5), tv::kOpened);
  }
  bool controlButtonsIdle() {
    return testsupport::usable(page().controlQueryButton) && testsupport::usable(page().lineTestButton) &&
           testsupport::usable(page().raiseRtsButton) && !testsupport::usable(page().cancelButton);
  }
  void pressCancel() {
    FXButton* cancel = page().cancelButton;
    cancel->getTarget()->handle(cancel, FXSEL(SEL_COMMAND, cancel->getSelector()), nullptr);
  }
};

TEST_F(ControlLineTest, QueryRunsOnAWorkerAndShowsTheFirstReplyByte) {
  tv::set_pause_scale_percent(1);
  sim.set_control_reply({0x5A, 0x11});
  page().replyList->appendItem("old");
  command(tv::ID_CONTROL_QUERY);
  EXPECT_EQ(page().replyList->getNumItems(), 0) << "a new query clears the old reply";
  EXPECT_TRUE(page().controlExchangeRunning());
  EXPECT_FALSE(testsupport::usable(page().controlQueryButton));
  EXPECT_FALSE(testsupport::usable(page().lineTestButton));
  EXPECT_FALSE(testsupport::usable(page().raiseRtsButton));
  EXPECT_TRUE(testsupport::usable(page().cancelButton));
  bool progressMoved = false;
  ASSERT_TRUE(testsupport::run_gui_until(
      [&] {
        progressMoved = progressMoved || window->progressBar->getProgress() >= 60;
        return !page().controlExchangeRunning();
      },
      30000));
  EXPECT_TRUE(progressMoved) << "the worker's progress reached the bar";
  ASSERT_EQ(page().replyList->getNumItems(), 1);
  EXPECT_EQ(page().replyList->getItemText(0), "5A");
  EXPECT_NE(page().replyList->getItemIcon(0), nullptr);
  EXPECT_EQ(window->progressBar->getProgress(), 0u);
  EXPECT_TRUE(controlButtonsIdle());
  EXPECT_EQ(sim.stats().control_frames, 1u);
}

// At a tenth of the real pauses the wake-up alone lasts 6.2 s and the rest of
// the query about 6 s more; Cancel must cut the wake-up out.
// A control line that is not open is refused with its reason, not run
// for a minute against nothing.
TEST_F(ControlLineTest, ClosedControlLineIsRefusedWithItsReason) {
  window->lines().control.close();
  window->ports().openAtStart("com3", 8, tv::kDeviceNotOpened, ENOENT);  // as start-up leaves a missing COM8
  command(tv::ID_CONTROL_QUERY);
  command(tv::ID_LINE_TEST);
  EXPECT_FALSE(page().controlExchangeRunning());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(messages[0].text,
            "No such device: " + box_.dir().file("com8") + ". The control line did not open (COM8).");
}

TEST_F(ControlLineTest, CancelCutsTheWakeUpShort) {
  tv::set_pause_scale_percent(10);
  const int64_t started = tv::monotonic_ms();
  command(tv::ID_CONTROL_QUERY);
  command(tv::ID_CONTROL_QUERY);  // a second press while it runs starts nothing
  pressCancel();
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !page().controlExchangeRunning(); }, 30000));
  EXPECT_LT(tv::monotonic_ms() - started, 10000);
  EXPECT_TRUE(controlButtonsIdle());
  EXPECT_EQ(window->progressBar->getProgress(), 0u);
}

TEST_F(ControlLineTest, ClosingTheWindowEndsTheWorkerAndLeavesNothingBehind) {
  tv::set_pause_scale_percent(10);
  command(tv::ID_CONTROL_QUERY);
  ASSERT_TRUE(page().controlExchangeRunning());
  const int64_t started = tv::monotonic_ms();
  delete window;
  window = nullptr;
  EXPECT_LT(tv::monotonic_ms() - started, 2000) << "the exchange was abandoned";
  // Whatever the worker posted before it ended must not touch the dead page.
  testsupport::pump_gui();
  window = new X_SRV_K_Window(testsupport::test_app());
  window->create();
  testsupport::pump_gui();
  EXPECT_EQ(page().replyList->getNumItems(), 0);
}

// The line test is about 11 s of line time with no wake-up to cut: Cancel
// ends it outright, and the line works again for the next exchange.
TEST_F(ControlLineTest, CancelEndsTheLineTest) {
  const int64_t started = tv::monotonic_ms();
  command(tv::ID_LINE_TEST);
  ASSERT_TRUE(page().controlExchangeRunning());
  pressCancel();
  ASSERT_TRUE(testsupport::run_gui_until([&] { return !page().controlExchangeRunning(); }, 15000));
  EXPECT_LT(tv::monotonic_ms() - started, 3000);
  EXPECT_TRUE(controlButtonsIdle());
  EXPECT_FALSE(window->lines().control.waits_abandoned());
}

}  // namespace

namespace {

// At the size a first start gives the window, in both languages, the console
// shows every control (the fields scroll, never sideways), whole lines of its
// output, and the start of what its fields hold.
TEST(ConsoleLayout, DefaultSizeShowsEveryControlWholeOutputLinesAndTheStartOfEachField) {
  for (const char* language : {"lang.en", "lang.ru"}) {
    SCOPED_TRACE(language);
    tv::reset_catalogue_for_tests();
    tv::set_language_file((std::string(TVBOX_SOURCE_DIR) + "/data/" + language).c_str());
    auto* window = new X_SRV_K_Window(testsupport::test_app());
    window->create();
    window->hideStartupTabs(true);
    window->resize(550, 380);
    window->tabBook->setCurrent(4);
    window->layout();
    window->forceRefresh();  // the fields take their values from their data targets
    testsupport::pump_gui();
    tv::ConsolePage& page = window->console();

    FXText* out = page.output;
    const int columns = (out->getViewportWidth() - out->getMarginLeft() - out->getMarginRight()) /
                        out->getFont()->getTextWidth("0", 1);
    const int rows = (out->getViewportHeight() - out->getMarginTop() - out->getMarginBottom()) /
                     out->getFont()->getFontHeight();
    // The widest lines the output shows, in characters (its letters are UTF-8).
    tv::RegisterRequest widest;
    widest.osd = true;
    widest.slave = widest.command = widest.data = 0xFF;
    widest.address = 0xFFFF;
    for (const std::string& line : {tv::received_byte_line(0xFF), tv::register_request_line(widest)})
      EXPECT_GE(columns, FXString(line.c_str()).trimEnd().count()) << line;
    EXPECT_GE(rows, 8);

    FXWindow* content = page.commandScroll->contentWindow();
    ASSERT_NE(content, nullptr);
    std::vector<FXWindow*> controls = {page.slaveAdrCombo,  page.cmdCombo,         page.adrCombo,
                                       page.dataCombo,      page.dataStrCombo,     page.dataStr2Combo,
                                       page.writeButton,    page.readButton,       page.writeStrButton,
                                       page.wiWoNiNoButton, page.clearButton,      page.controlQueryButton,
                                       page.lineTestButton, page.raiseRtsButton,   page.cancelButton,
                                       page.replyList,      page.saveOutputButton, page.recordCheck};
    for (FXWindow* control : page.bitChecks) controls.push_back(control);
    for (FXWindow* control : page.intFields) controls.push_back(control);
    for (FXWindow* control : controls) {
      FXint x = 0, y = 0;
      control->translateCoordinatesTo(x, y, content, 0, 0);
      EXPECT_GT(control->getWidth(), 1);
      EXPECT_GE(x, 0);
      EXPECT_LE(x + control->getWidth(), page.commandScroll->getViewportWidth())
          << "cut off at the right: " << control->getClassName() << " at " << x;
      EXPECT_LE(y + control->getHeight(), page.commandScroll->getContentHeight()) << "out of scrolling reach";
    }

    auto* field = dynamic_cast<FXTextField*>(page.slaveAdrCombo->getFirst());
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(std::string(field->getText().text()), "FE Граф.процессор QRMZP5L");
    EXPECT_EQ(field->getCursorPos(), 0) << "the address in front is in view";
    page.slaveAdrCombo->appendItem("C2 Тюнер, второй адрес, с длинной заметкой");
    page.slaveAdrCombo->handle(
        nullptr, FXSEL(SEL_COMMAND, FXComboBox::ID_LIST),
        reinterpret_cast<void*>(static_cast<FXival>(page.slaveAdrCombo->getNumItems() - 1)));
    testsupport::pump_gui();
    EXPECT_EQ(std::string(page.slaveAdrText.text()), "C2 Тюнер, второй адрес, с длинной заметкой");
    EXPECT_EQ(field->getCursorPos(), 0);
    delete window;
  }
  tv::reset_catalogue_for_tests();
}

}  // namespace
