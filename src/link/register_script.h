// The register console's commands as lines of text: what tvbox-reg takes on
// its command line and in a script, and what the window's console record
// writes for every packet it sends, so that a record played back with
// `tvbox-reg --script` sends the same bytes again.
//
//   read SLAVE REG               an I2C register (hexadecimal, as the console)
//   write SLAVE REG VALUE
//   read osd ADDR [SLAVE CMD]    an OSD processor register
//   write osd ADDR VALUE [SLAVE CMD]
//   writestr LIST1 LIST2         the two-packet long write; a list is the
//                                console's byte list ("b4,32,00"), "-" for none
//   scaler WI WO NI NO WOSZ      the ten scaler registers (decimal)
//   watch [SECONDS]              every byte the box sends
//
// Every packet is built by the console's own functions (console_packets.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/console_packets.h"

namespace tv {

enum class RegisterVerb { Read, Write, WriteStr, Scaler, Watch };

struct RegisterCommand {
  RegisterVerb verb = RegisterVerb::Read;
  RegisterRequest request;                       // Read and Write
  std::string list1, list2;                      // WriteStr, as the console's Data STR texts
  int wi = 0, wo = 0, ni = 0, no = 0, wosz = 0;  // Scaler
  double seconds = 0;                            // Watch; 0: until stopped
};

// The command's name as its line begins: "read", "write", "writestr", ...
const char* register_verb_name(RegisterVerb verb);

// The words of a script line: blanks separate them, '#' starts a comment.
std::vector<std::string> script_words(const std::string& line);

// Reads one command from its words. False with a one-line reason in `error`
// when the words are no command (unknown name, a missing or extra word, a
// number that is not one).
bool parse_register_command(const std::vector<std::string>& words, RegisterCommand* command,
                            std::string* error);

// The script line of a console request ("write fe 07 3a", "read osd 1234 b4 10"):
// the values as the packet carries them, so the line sends the same packet.
std::string register_script_line(const RegisterRequest& request);
// "writestr b4,32,00,10 01,02": the fields that reach the packet; "-" for a
// list that gives none.
std::string write_str_script_line(const char* list1, const char* list2);
std::string scaler_script_line(int wi, int wo, int ni, int no, int wosz);

// One packet a command puts on the line, and what the box answers to it.
constexpr int kIicWritePauseMs = 200;  // the scaler's registers get time, not an echo check
constexpr int kWriteStrPauseMs = 200;  // between the two packets of the long write

struct ConsolePacket {
  std::array<uint8_t, kPacketSize> bytes{};
  bool value_follows = false;  // a read: one byte of the register after the echo
  int pause_after_ms = 0;
};

// The packets of a command, in order (none for Watch). A scaler whose
// inputs cannot be computed (No or Wo 0) gives none, with the reason in `error`.
std::vector<ConsolePacket> command_packets(const RegisterCommand& command, std::string* error = nullptr);
std::vector<ConsolePacket> write_str_packets(const char* list1, const char* list2);
std::vector<ConsolePacket> scaler_packets(const ScalerValues& values);

// "9c 63 00 00 77 07 3a fe 00 00 00 0d"
std::string hex_bytes(const uint8_t* bytes, size_t size);

}  // namespace tv
