// The register console's bytes: packets from field texts, the long write's
// field split, the scaler registers and the line shown per received byte.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "link/console_packets.h"
#include "link/register_script.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes packet_of(const tv::RegisterRequest& request) {
  tv::Packet packet;
  tv::build_register_packet(request, packet);
  return Bytes(packet, packet + tv::kPacketSize);
}

Bytes first12(const tv::WriteStrBuffer& buffer) { return Bytes(buffer.begin(), buffer.begin() + 12); }

const char* const kInitialSlave = "FE Граф.процессор QRMZP5L";

TEST(RegisterPacket, InitialFieldsWriteTheI2cDeviceFE) {
  auto request = tv::read_register_fields('w', kInitialSlave, "", "07", "");
  EXPECT_FALSE(request.osd);
  EXPECT_EQ(tv::register_request_line(request), "w 0 fe 00 0007 00\n");
  EXPECT_EQ(packet_of(request), Bytes({0x9C, 0x63, 0, 0, 0x77, 0x07, 0x00, 0xFE, 0, 0, 0, 0x0D}));
}

TEST(RegisterPacket, OsdModeSendsCommandAndBigEndianAddress) {
  auto write = tv::read_register_fields('w', "B4 OSD", "32", "1234", "5A");
  EXPECT_TRUE(write.osd);
  EXPECT_EQ(tv::register_request_line(write), "w 1 b4 32 1234 5a\n");
  EXPECT_EQ(packet_of(write), Bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x32, 0x12, 0x34, 0x5A, 0, 0x0D}));

  auto read = tv::read_register_fields('r', "B4 OSD", "32", "1234", "5A");
  Bytes packet = packet_of(read);
  EXPECT_EQ(packet[4], 0x72);
  EXPECT_EQ(packet[9], 0) << "a read sends no data";
  EXPECT_EQ(packet, Bytes({0x90, 0x6F, 0, 0, 0x72, 0xB4, 0x32, 0x12, 0x34, 0, 0, 0x0D}));
}

TEST(RegisterPacket, I2cReadLeavesDataOutAndCmdIsNeverSent) {
  auto read = tv::read_register_fields('r', "A0", "55", "10", "77");
  EXPECT_EQ(packet_of(read), Bytes({0x9C, 0x63, 0, 0, 0x72, 0x10, 0, 0xA0, 0, 0, 0, 0x0D}));
}

TEST(RegisterPacket, WideValuesAreCutAndBadTextsCountAsZero) {
  auto request = tv::read_register_fields('w', "1FE", "", "abcd", "1FF");
  Bytes packet = packet_of(request);
  EXPECT_EQ(packet[5], 0xCD) << "I2C register is the address's low byte";
  EXPECT_EQ(packet[6], 0xFF);
  EXPECT_EQ(packet[7], 0xFE);
  auto junk = tv::read_register_fields('w', "osd lower case is I2C", nullptr, "zz", "qq");
  EXPECT_FALSE(junk.osd);
  EXPECT_EQ(junk.address, 0u);
  EXPECT_EQ(junk.data, 0u);
  EXPECT_EQ(junk.command, 0u);
}

TEST(IicWrite, PacketCarriesRegisterValueAndSlave) {
  tv::Packet packet;
  tv::build_iic_write_packet(0xFE, 0xD3, 0x1AB, packet);
  EXPECT_EQ(Bytes(packet, packet + 12), Bytes({0x9C, 0x63, 0, 0, 0x77, 0xD3, 0xAB, 0xFE, 0, 0, 0, 0x0D}));
}

TEST(WriteStr, SingleSpacesFillTheOperandBytes) {
  EXPECT_EQ(first12(tv::build_write_str_packet("b4 32 00 10")),
            Bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x32, 0x00, 0x10, 0, 0, 0x0D}));
  EXPECT_EQ(first12(tv::build_write_str_packet("b4,32;1/2\\3\t4")),
            Bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0x32, 1, 2, 3, 4, 0x0D}));
}

TEST(WriteStr, AnEmptyFieldEndsTheList) {
  EXPECT_EQ(first12(tv::build_write_str_packet("b4  32")),
            Bytes({0x90, 0x6F, 0, 0, 0x77, 0xB4, 0, 0, 0, 0, 0, 0x0D}));
  EXPECT_EQ(tv::count_write_str_fields("b4  32"), 1u);
  EXPECT_EQ(tv::count_write_str_fields(" b4"), 0u);
  EXPECT_EQ(tv::count_write_str_fields(""), 0u);
  EXPECT_EQ(tv::count_write_str_fields(nullptr), 0u);
  EXPECT_EQ(tv::count_write_str_fields("1 2 "), 2u);
  EXPECT_EQ(first12(tv::build_write_str_packet("")), Bytes({0x90, 0x6F, 0, 0, 0x77, 0, 0, 0, 0, 0, 0, 0x0D}));
}

TEST(WriteStr, SeventhValueReplacesTheEndByte) {
  EXPECT_EQ(first12(tv::build_write_str_packet("1 2 3 4 5 6 7")),
            Bytes({0x90, 0x6F, 0, 0, 0x77, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(first12(tv::build_write_str_packet("1 2 3 4 5 6 7 8 9"))[11], 7);
}

TEST(WriteStr, HundredFieldsAndMoreStayInsideTheBuffer) {
  std::string text;
  for (int i = 0; i < 150; ++i) text += std::to_string(i % 16) + "f ";
  EXPECT_EQ(tv::count_write_str_fields(text.c_str()), tv::kWriteStrFields);
  tv::WriteStrBuffer buffer = tv::build_write_str_packet(text.c_str());
  EXPECT_EQ(buffer[5], 0x0F);
  EXPECT_EQ(buffer[5 + 99], static_cast<uint8_t>(((99 % 16) << 4) | 0xF));
  EXPECT_EQ(buffer[11], 0x6F) << "field 6 is 6f";
}

TEST(WriteStr, NonHexFieldSendsZeroButKeepsGoing) {
  EXPECT_EQ(first12(tv::build_write_str_packet("zz 12 1ff")),
            Bytes({0x90, 0x6F, 0, 0, 0x77, 0, 0x12, 0xFF, 0, 0, 0, 0x0D}));
}

TEST(ReceivedByteLine, ShowsHexDecimalCharacterAndBits) {
  EXPECT_EQ(tv::received_byte_line(0x41), "41 065 <A> 01000001\n");
  EXPECT_EQ(tv::received_byte_line(0x0A), "0a 010 <.> 00001010\n");
  EXPECT_EQ(tv::received_byte_line(0x20), "20 032 < > 00100000\n");
  EXPECT_EQ(tv::received_byte_line(0x7F), "7f 127 <.> 01111111\n");
  EXPECT_EQ(tv::received_byte_line(0x98), "98 152 <.> 10011000\n") << "undefined in the code page";
  EXPECT_EQ(tv::received_byte_line(0xAD), "ad 173 <.> 10101101\n") << "a soft hyphen draws nothing";
  EXPECT_EQ(tv::received_byte_line(0xB9), "b9 185 <\u2116> 10111001\n");
  EXPECT_EQ(tv::bit_string(0x80), "10000000");
  EXPECT_EQ(tv::bit_string(0x01), "00000001");
}

TEST(Scaler, WorkedExampleGivesTheTenRegisters) {
  tv::ScalerValues v;
  std::string error;
  ASSERT_TRUE(tv::compute_scaler(720, 720, 576, 864, 10, &v, &error));
  EXPECT_NEAR(v.xc, 1.0666667, 1e-6);
  EXPECT_NEAR(v.xb, 0.2333333, 1e-6);
  EXPECT_NEAR(v.xd, 0.0011574, 1e-6);
  EXPECT_EQ(v.xc_i, 0x11110);
  EXPECT_EQ(v.xb_i, 0x3BBB);
  EXPECT_EQ(v.xd_i, 0x4B);
  // xb lo/hi, xd lo/hi, xc lo/hi, Wo lo/hi, No-Wo lo/hi
  std::array<uint8_t, 10> expected = {0xBB, 0x3B, 0x4B, 0x00, 0x10, 0x11, 0xD0, 0x02, 0x90, 0x00};
  EXPECT_EQ(v.registers, expected);
}

TEST(Scaler, ZeroNoOrWoIsRefusedWithAReason) {
  tv::ScalerValues v;
  std::string error;
  EXPECT_FALSE(tv::compute_scaler(1, 720, 1, 0, 10, &v, &error));
  EXPECT_NE(error.find("No is 0"), std::string::npos);
  error.clear();
  EXPECT_FALSE(tv::compute_scaler(1, 0, 1, 864, 10, &v, &error));
  EXPECT_NE(error.find("Wo is 0"), std::string::npos);
}

TEST(Scaler, HugeInputsStayDefined) {
  tv::ScalerValues v;
  ASSERT_TRUE(tv::compute_scaler(0, 1, 0, 1, 2000000000, &v, nullptr));
  EXPECT_EQ(v.xb_i, std::numeric_limits<int32_t>::min()) << "held at the end of the range";
  ASSERT_TRUE(tv::compute_scaler(0, -2147483647 - 1, 0, 2147483647, 0, &v, nullptr));
  EXPECT_EQ(v.registers[8], 0xFF);  // No - Wo = 2^32 - 1 in the low bits
  EXPECT_EQ(v.registers[9], 0xFF);
}

TEST(PacketText, StopsAtZeroOrTheEnd) {
  const uint8_t with_zero[4] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(tv::packet_text(with_zero, 4), "ab");
  const uint8_t no_zero[3] = {'x', 'y', 'z'};
  EXPECT_EQ(tv::packet_text(no_zero, 3), "xyz");
}

// A script line played back: the command it parses to and its packets.
std::vector<Bytes> packets_of_line(const std::string& line, std::string* error) {
  tv::RegisterCommand command;
  std::vector<Bytes> packets;
  if (!tv::parse_register_command(tv::script_words(line), &command, error)) return packets;
  for (const tv::ConsolePacket& packet : tv::command_packets(command, error))
    packets.push_back(Bytes(packet.bytes.begin(), packet.bytes.end()));
  return packets;
}

// What the console's record writes for a request is a line that sends the
// very packet the console sent: values cut as the packet cuts them, the OSD
// slave and command kept, the I2C Cmd left out.
TEST(ScriptLine, EveryConsoleRequestPlaysBackAsTheSamePacket) {
  struct Case {
    char letter;
    const char *slave, *command, *address, *data, *line;
  };
  const Case cases[] = {
      {'w', kInitialSlave, "", "07", "3a", "write fe 07 3a"},
      {'r', kInitialSlave, "55", "07", "3a", "read fe 07"},
      {'w', "1FE", "", "abcd", "1FF", "write fe cd ff"},
      {'w', "B4 OSD", "10", "1234", "5A", "write osd 1234 5a b4 10"},
      {'r', "B4 OSD", "10", "1234", "5A", "read osd 1234 b4 10"},
      {'r', "OSD", "", "12345", "", "read osd 2345"},
      {'w', "OSD", "", "ff", "7", "write osd 00ff 07"},
  };
  for (const Case& c : cases) {
    const auto request = tv::read_register_fields(c.letter, c.slave, c.command, c.address, c.data);
    const std::string line = tv::register_script_line(request);
    EXPECT_EQ(line, c.line);
    std::string error;
    const std::vector<Bytes> packets = packets_of_line(line, &error);
    ASSERT_EQ(packets.size(), 1u) << line << ": " << error;
    EXPECT_EQ(packets[0], packet_of(request)) << line;
  }
}

TEST(ScriptLine, TheLongWriteAndTheScalerPlayBackAsTheSamePackets) {
  struct Case {
    const char *list1, *list2, *line;
  };
  const Case cases[] = {
      {"b4 32 00 10", "1,2,3,4,5,6", "writestr b4,32,00,10 01,02,03,04,05,06"},
      {"b4  32", "", "writestr b4 -"},
      {"zz 12 1ff", "1 2 3 4 5 6 7 8 9", "writestr 00,12,ff 01,02,03,04,05,06,07"},
  };
  for (const Case& c : cases) {
    const std::string line = tv::write_str_script_line(c.list1, c.list2);
    EXPECT_EQ(line, c.line);
    std::string error;
    const std::vector<Bytes> packets = packets_of_line(line, &error);
    ASSERT_EQ(packets.size(), 2u) << line << ": " << error;
    EXPECT_EQ(packets[0], first12(tv::build_write_str_packet(c.list1))) << line;
    EXPECT_EQ(packets[1], first12(tv::build_write_str_packet(c.list2))) << line;
  }
  const std::string scaler = tv::scaler_script_line(720, 720, 576, 864, 10);
  EXPECT_EQ(scaler, "scaler 720 720 576 864 10");
  std::string error;
  const std::vector<Bytes> packets = packets_of_line(scaler, &error);
  ASSERT_EQ(packets.size(), tv::kScalerRegisters) << error;
  const uint8_t values[10] = {0xBB, 0x3B, 0x4B, 0x00, 0x10, 0x11, 0xD0, 0x02, 0x90, 0x00};
  for (size_t i = 0; i < packets.size(); ++i) {
    tv::Packet expected;
    tv::build_iic_write_packet(0xFE, 0xD0 + unsigned(i), values[i], expected);
    EXPECT_EQ(packets[i], Bytes(expected, expected + 12)) << "register " << i;
  }
}

// A script line that is no command is refused with a reason, before any
// packet exists; comments and blanks are no words at all.
TEST(ScriptLine, LinesThatDoNotParseSayWhy) {
  EXPECT_TRUE(tv::script_words("   # write fe 07 3a").empty());
  EXPECT_EQ(tv::script_words("read\tfe 07 # why").size(), 3u);
  struct Case {
    const char *line, *reason;
  };
  const Case cases[] = {
      {"frobnicate 1", "unknown command"},
      {"read fe", "too few words"},
      {"write fe 07 3a 4", "too many words"},
      {"read 1ff 07", "the slave \"1ff\""},
      {"write fe 07 zz", "the value \"zz\""},
      {"read osd 10000", "the OSD address"},
      {"read osd 12 b4", "needs its command"},
      {"writestr 1,,2 -", "empty value"},
      {"writestr 1,2,3,4,5,6,7,8 -", "a packet takes 7"},
      {"scaler 720 0 576 864 10", "Wo is 0"},
      {"scaler 720 720 576 x 10", "No \"x\""},
      {"watch -1", "not a number of seconds"},
  };
  for (const Case& c : cases) {
    tv::RegisterCommand command;
    std::string error;
    EXPECT_FALSE(tv::parse_register_command(tv::script_words(c.line), &command, &error)) << c.line;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.line << ": " << error;
  }
  tv::RegisterCommand watch;
  std::string error;
  ASSERT_TRUE(tv::parse_register_command(tv::script_words("watch 2.5"), &watch, &error)) << error;
  EXPECT_EQ(watch.verb, tv::RegisterVerb::Watch);
  EXPECT_DOUBLE_EQ(watch.seconds, 2.5);
}

}  // namespace
