#include "boxsim/box_decoder.h"

#include <algorithm>
#include <cctype>

namespace boxsim {

namespace {

constexpr uint8_t kTargetFlash = 0x66;
constexpr uint8_t kTargetOsd = 0x6F;
constexpr uint8_t kTargetI2c = 0x63;
constexpr uint8_t kTargetSystem = 0x73;
constexpr uint8_t kTargetProbe = 0xFA;

constexpr uint8_t kOpRead = 'R';
constexpr uint8_t kOpByteWrite = 'w';
constexpr uint8_t kOpMultiWrite = 'W';
constexpr uint8_t kOpErase = 'e';
constexpr uint8_t kOpRegisterRead = 'r';

constexpr uint8_t kFontCommand = 0xB4;
constexpr uint8_t kFontByteWrite = 0x32;
constexpr uint8_t kFontPageClear = 0xAA;
constexpr uint8_t kSysFontPageClear = 0x54;
constexpr int kFontPageSize = 0x200;

constexpr size_t kPacketSize = 12;
constexpr size_t kWrite16Size = 26;
constexpr size_t kPicRecordSize = 26;
constexpr size_t kMaxZLine = 16;

const char kLoaderBanner[] = "PIC LOADER 1.0\r\n";
const char kLoaderReady[] = "OK\r\n";
const char kLoaderRejects[] = "?\r\n";
const char kTwoZLine[] = "ZZ        \r";
const char kFourZLine[] = "ZZZZ       \r";
const char kPicEndRecord[] = ":00020001";
constexpr uint8_t kZLineAck = '>';

std::vector<uint8_t> bytes_of(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

uint32_t address24(const std::vector<uint8_t>& p) {
  return (uint32_t(p[5]) << 16) | (uint32_t(p[6]) << 8) | p[7];
}

uint32_t address16(uint8_t high, uint8_t low) { return (uint32_t(high) << 8) | low; }

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int hex_digit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

bool is_write16_header(const std::vector<uint8_t>& p) {
  return (p[1] == kTargetFlash || p[1] == kTargetOsd) && p[2] == p[1] && p[4] == kOpMultiWrite;
}

bool is_line_noise(uint8_t b) { return (b >= 0x20 && b <= 0x7E) || b == '\r' || b == '\n'; }

// ":08AAAA00" + 16 upper-case hex digits + "*"
bool is_pic_record(const std::string& s) {
  if (s.size() != kPicRecordSize || s[0] != ':' || s.compare(1, 2, "08") != 0 || s.compare(7, 2, "00") != 0 ||
      s[25] != '*')
    return false;
  for (size_t i = 3; i < 25; ++i)
    if ((i < 7 || i >= 9) && !is_upper_hex(s[i])) return false;
  return true;
}

int hex_field(const std::string& s, size_t at, size_t digits) {
  int value = 0;
  for (size_t i = 0; i < digits; ++i) value = value * 16 + hex_digit(s[at + i]);
  return value;
}

}  // namespace

std::vector<uint8_t> doubled(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> line;
  line.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    line.push_back(b);
    line.push_back(uint8_t(b ^ 0xFF));
  }
  return line;
}

BoxDecoder::BoxDecoder() = default;

// ---------------------------------------------------------------------------
// Framing of the programming port

void BoxDecoder::feed(uint8_t byte, int64_t now_ms, std::vector<uint8_t>* out) {
  if (vanished_) return;
  settle(now_ms, out);
  last_byte_ms_ = now_ms;
  if (pending_.empty()) {
    start_item(byte, out);
    return;
  }
  pending_.push_back(byte);
  if (pending_is_text_)
    continue_text(out);
  else
    continue_binary(out);
}

std::vector<uint8_t> BoxDecoder::feed(const std::vector<uint8_t>& bytes, int64_t now_ms) {
  std::vector<uint8_t> out;
  for (uint8_t b : bytes) feed(b, now_ms, &out);
  return out;
}

void BoxDecoder::idle(int64_t now_ms, std::vector<uint8_t>* out) {
  if (!vanished_) settle(now_ms, out);
}

int64_t BoxDecoder::next_deadline_ms() const {
  if (pending_.empty() || vanished_) return -1;
  if (pending_is_text_ && pending_.size() == 1 && pending_[0] == 'Z') return last_byte_ms_ + kLoneZQuietMs;
  return last_byte_ms_ + kResyncIdleMs + 1;
}

void BoxDecoder::settle(int64_t now_ms, std::vector<uint8_t>* out) {
  if (pending_.empty()) return;
  int64_t quiet = now_ms - last_byte_ms_;
  bool lone_z = pending_is_text_ && pending_.size() == 1 && pending_[0] == 'Z';
  if (lone_z && quiet >= kLoneZQuietMs) {
    pending_.clear();
    handle_lone_z(out);
  } else if (quiet > kResyncIdleMs) {
    pending_.clear();  // a torn packet: wait for the start of the next one
  }
}

void BoxDecoder::start_item(uint8_t byte, std::vector<uint8_t>* out) {
  if (byte == ':' || byte == '*' || byte == 'Z') {
    pending_ = {byte};
    pending_is_text_ = true;
    continue_text(out);
  } else if (!is_line_noise(byte)) {
    pending_ = {byte};
    pending_is_text_ = false;
  }
}

void BoxDecoder::continue_binary(std::vector<uint8_t>* out) {
  size_t n = pending_.size();
  if (n == kPacketSize && !is_write16_header(pending_)) {
    std::vector<uint8_t> packet;
    packet.swap(pending_);
    handle_packet12(packet, out);
  } else if (n == kWrite16Size) {
    std::vector<uint8_t> packet;
    packet.swap(pending_);
    handle_write16(packet, out);
  }
}

void BoxDecoder::continue_text(std::vector<uint8_t>* out) {
  std::string s(pending_.begin(), pending_.end());
  if (s[0] == '*') {
    pending_.clear();
    handle_star(out);
  } else if (s[0] == 'Z') {
    if (s.back() == '\r') {
      pending_.clear();
      handle_z_line(s, out);
    } else if (s.size() > kMaxZLine) {
      pending_.clear();
    }
  } else if (s.size() >= 3 && s.compare(1, 2, "00") == 0) {
    if (s.size() == sizeof(kPicEndRecord) - 1) {
      pending_.clear();
      if (s == kPicEndRecord) handle_pic_end(out);
    }
  } else if (s.back() == '*' || s.size() == kPicRecordSize) {
    pending_.clear();
    handle_pic_record(s, out);
  }
}

// ---------------------------------------------------------------------------
// Faults shared by every exchange

void BoxDecoder::set_faults(const Faults& faults) {
  if (faults.old_contents && !faults_.old_contents) fill_old_contents();
  faults_ = faults;
}

// A box that already holds some other firmware: no cell of flash is erased,
// and the OSD and font memories hold old bytes.
void BoxDecoder::fill_old_contents() {
  for (size_t i = 0; i < mem_.flash.size(); ++i) mem_.flash[i] = uint8_t((i * 37 + 0x5A) % 251);
  for (size_t i = 0; i < mem_.osd.size(); ++i) mem_.osd[i] = uint8_t((i * 11 + 0xA5) % 253);
  for (size_t i = 0; i < mem_.font.size(); ++i) mem_.font[i] = uint8_t((i * 13 + 0x3C) % 247);
}

bool BoxDecoder::begin_exchange() {
  if (fallen_silent_) return false;
  if (faults_.silent_after > 0 && exchanges_ >= uint64_t(faults_.silent_after)) return false;
  ++exchanges_;
  if (faults_.vanish_after > 0 && exchanges_ >= uint64_t(faults_.vanish_after)) vanished_ = true;
  return true;
}

bool BoxDecoder::refuse_attempt(const std::vector<uint8_t>& content) {
  if (faults_.refuse_first <= 0) return false;
  int& attempts = attempts_[content];
  if (attempts >= faults_.refuse_first) return false;
  ++attempts;
  ++stats_.refused;
  return true;
}

void BoxDecoder::send(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* out) {
  for (uint8_t b : bytes) {
    ++bytes_sent_;
    if (faults_.drop_every > 0 && bytes_sent_ % uint64_t(faults_.drop_every) == 0) continue;
    out->push_back(b);
  }
}

void BoxDecoder::send_answer(std::vector<uint8_t> answer, size_t corrupt_at, std::vector<uint8_t>* out) {
  ++answers_;
  if (faults_.corrupt_echo_every > 0 && answers_ % uint64_t(faults_.corrupt_echo_every) == 0) {
    answer[corrupt_at] ^= 0x10;
    ++stats_.refused;
  }
  send(answer, out);
}

// ---------------------------------------------------------------------------
// 12-byte command packets

void BoxDecoder::handle_probe(std::vector<uint8_t>* out) {
  ++stats_.probes;
  if (faults_.unsupported) send(bytes_of(kLoaderRejects), out);
}

void BoxDecoder::handle_packet12(const std::vector<uint8_t>& p, std::vector<uint8_t>* out) {
  if (p[1] == kTargetProbe) {
    handle_probe(out);
    return;
  }
  if (!begin_exchange()) return;
  ++stats_.packets;
  if (refuse_attempt(p)) {
    std::vector<uint8_t> wrong = p;
    wrong[5] ^= 0xFF;
    send(wrong, out);
    return;
  }
  if (p[1] == kTargetSystem && refuse_osd_clear()) {
    std::vector<uint8_t> wrong = p;
    wrong[5] ^= 0xFF;
    send(wrong, out);
    return;
  }
  std::vector<uint8_t> data;
  if (!apply_packet12(p, &data)) {
    ++stats_.unknown;  // the firmware ignores what it does not understand
    return;
  }
  send_answer(p, 7, out);
  send(data, out);
}

bool BoxDecoder::apply_packet12(const std::vector<uint8_t>& p, std::vector<uint8_t>* data) {
  switch (p[1]) {
    case kTargetFlash: return apply_flash(p, data);
    case kTargetOsd: return apply_osd(p, data);
    case kTargetI2c: return apply_i2c(p, data);
    case kTargetSystem:
      if (p[4] != kOpByteWrite) return false;
      std::fill(mem_.osd.begin(), mem_.osd.end(), 0x00);
      ++stats_.osd_clears;
      return true;
    default: return false;
  }
}

bool BoxDecoder::refuse_osd_clear() {
  if (faults_.refuse_osd_clears == 0) return false;
  if (faults_.refuse_osd_clears > 0 && osd_clears_refused_ >= faults_.refuse_osd_clears) return false;
  ++osd_clears_refused_;
  ++stats_.refused;
  return true;
}

// NOR flash: programming can only clear bits, so an unerased cell keeps the
// zeros it had. The wrong-byte fault stores one bit wrong and says nothing.
void BoxDecoder::store_flash(uint32_t address, uint8_t value) {
  address &= kFlashSize - 1;
  mem_.flash[address] &= value;
  if (faults_.wrong_flash_byte >= 0 && address == uint32_t(faults_.wrong_flash_byte))
    mem_.flash[address] ^= 0x01;
}

bool BoxDecoder::apply_flash(const std::vector<uint8_t>& p, std::vector<uint8_t>* data) {
  const uint32_t mask = kFlashSize - 1;
  uint32_t address = address24(p);
  switch (p[4]) {
    case kOpRead:
      for (uint32_t i = 0; i < 4; ++i) data->push_back(mem_.flash[(address + i) & mask]);
      return true;
    case kOpErase: {
      // The operand is a sector number; one past the end of the chip is not
      // a sector, and the firmware does not pretend to have erased it.
      if (address >= kFlashSize / kFlashSector) return false;
      auto begin = mem_.flash.begin() + address * kFlashSector;
      std::fill(begin, begin + kFlashSector, 0xFF);
      ++stats_.sector_erases;
      return true;
    }
    case kOpMultiWrite: {
      // NOR flash: programming can only clear bits, so an unerased cell keeps
      // the zeros it had.
      const uint8_t values[4] = {p[3], p[8], p[9], p[10]};
      for (uint32_t i = 0; i < 4; ++i) store_flash(address + i, values[i]);
      return true;
    }
    default: return false;
  }
}

bool BoxDecoder::apply_osd(const std::vector<uint8_t>& p, std::vector<uint8_t>* data) {
  uint32_t address = address16(p[5], p[6]);
  switch (p[4]) {
    case kOpRead:
      for (uint32_t i = 0; i < 4; ++i) data->push_back(mem_.osd[(address + i) & 0xFFFF]);
      return true;
    case kOpMultiWrite:
      for (uint32_t i = 0; i < 4; ++i) mem_.osd[(address + i) & 0xFFFF] = p[7 + i];
      return true;
    case kOpByteWrite: return apply_osd_byte_write(p);
    case kOpRegisterRead: data->push_back(osd_register(p[5], p[6], int(address16(p[7], p[8])))); return true;
    default: return false;
  }
}

bool BoxDecoder::apply_osd_byte_write(const std::vector<uint8_t>& p) {
  // The plain memory write is the one packet whose first byte is not the
  // complement of its target.
  if (p[0] == 0x99 && p[8] == 0x33) {
    mem_.osd[address16(p[5], p[6])] = p[7];
    return true;
  }
  uint32_t address = address16(p[7], p[8]);
  if (p[5] == kFontCommand && p[6] == kFontByteWrite) {
    mem_.font[address] = p[9];
  } else if (p[5] == kFontCommand && (p[6] == kFontPageClear || p[6] == kSysFontPageClear)) {
    clear_font_page(int(address), p[9]);
  } else {
    osd_registers_[std::make_tuple(int(p[5]), int(p[6]), int(address))] = p[9];
  }
  return true;
}

void BoxDecoder::clear_font_page(int page_address, uint8_t fill) {
  for (int i = 0; i < kFontPageSize; ++i) mem_.font[(page_address + i) & 0xFFFF] = fill;
  ++stats_.font_page_clears;
}

bool BoxDecoder::apply_i2c(const std::vector<uint8_t>& p, std::vector<uint8_t>* data) {
  int reg = p[5];
  int slave = p[7];
  if (p[4] == kOpByteWrite) {
    mem_.i2c[slave][reg] = p[6];
    return true;
  }
  if (p[4] == kOpRegisterRead) {
    auto dev = mem_.i2c.find(slave);
    uint8_t value = 0;
    if (dev != mem_.i2c.end()) {
      auto it = dev->second.find(reg);
      if (it != dev->second.end()) value = it->second;
    }
    data->push_back(value);
    return true;
  }
  return false;
}

uint8_t BoxDecoder::osd_register(int slave, int command, int address) const {
  auto it = osd_registers_.find(std::make_tuple(slave, command, address));
  return it == osd_registers_.end() ? 0 : it->second;
}

// ---------------------------------------------------------------------------
// 26-byte 16-byte writes

void BoxDecoder::handle_write16(const std::vector<uint8_t>& p, std::vector<uint8_t>* out) {
  if (!begin_exchange()) return;
  ++stats_.packets;
  uint8_t target = p[1];
  uint32_t address = address24(p);
  std::vector<uint8_t> answer = {p[0], target, kOpMultiWrite, p[5], p[6], p[7]};
  bool refused_forever =
      faults_.refuse_always_address >= 0 && address == uint32_t(faults_.refuse_always_address);
  if (refused_forever) ++stats_.refused;
  if (refused_forever || refuse_attempt(p)) {
    answer[3] ^= 0xFF;
    send(answer, out);
    return;
  }
  for (uint32_t i = 0; i < 16; ++i) {
    if (target == kTargetFlash)
      store_flash(address + i, p[8 + i]);
    else
      mem_.osd[(address + i) & 0xFFFF] = p[8 + i];
  }
  send_answer(answer, 5, out);
  // This write is answered; from the Nth on the box says nothing more.
  if (target == kTargetFlash) ++flash_writes_;
  if (target == kTargetFlash && faults_.silent_after_flash_writes > 0 &&
      flash_writes_ >= uint64_t(faults_.silent_after_flash_writes))
    fallen_silent_ = true;
  if (target == kTargetFlash && faults_.vanish_after_flash_writes > 0 &&
      flash_writes_ >= uint64_t(faults_.vanish_after_flash_writes))
    vanished_ = true;
}

// ---------------------------------------------------------------------------
// PIC loader

void BoxDecoder::handle_lone_z(std::vector<uint8_t>* out) {
  pic_stage_ = PicStage::Greeted;
  send(bytes_of(kLoaderBanner), out);
}

void BoxDecoder::handle_z_line(const std::string& line, std::vector<uint8_t>* out) {
  if (line == kTwoZLine) {
    pic_stage_ = PicStage::TwoZ;
    send({kZLineAck}, out);
  } else if (line == kFourZLine) {
    if (pic_stage_ == PicStage::TwoZ || pic_stage_ == PicStage::TwoZStar) {
      pic_stage_ = PicStage::FourZ;
      send({kZLineAck}, out);
    } else {
      pic_stage_ = PicStage::Idle;  // the end of a burn: the box restarts quietly
    }
  }
}

void BoxDecoder::handle_star(std::vector<uint8_t>* out) {
  if (pic_stage_ == PicStage::TwoZ) {
    pic_stage_ = PicStage::TwoZStar;
  } else if (pic_stage_ == PicStage::FourZ) {
    pic_stage_ = PicStage::Loading;
    send(bytes_of(kLoaderReady), out);
  }
}

void BoxDecoder::handle_pic_record(const std::string& record, std::vector<uint8_t>* out) {
  if (!begin_exchange()) return;
  bool fits = is_pic_record(record) && size_t(hex_field(record, 3, 4)) + 8 <= kPicSize;
  if (pic_stage_ != PicStage::Loading || !fits) {
    ++stats_.unknown;
    send(bytes_of(kLoaderRejects), out);
    return;
  }
  std::vector<uint8_t> echo = bytes_of(record);
  if (refuse_attempt(echo)) {
    echo[9] = echo[9] == '0' ? '1' : '0';
    send(echo, out);
    return;
  }
  int address = hex_field(record, 3, 4);
  for (int i = 0; i < 8; ++i) mem_.pic[address + i] = uint8_t(hex_field(record, 9 + 2 * i, 2));
  ++stats_.pic_records;
  send_answer(echo, 9, out);
}

void BoxDecoder::handle_pic_end(std::vector<uint8_t>* out) {
  pic_stage_ = PicStage::Idle;
  send(bytes_of(kPicEndRecord), out);
}

// ---------------------------------------------------------------------------
// Control port

void BoxDecoder::feed_control(uint8_t byte, std::vector<uint8_t>* out) {
  if (!ctl_have_first_ || ctl_first_ != uint8_t(byte ^ 0xFF)) {
    // Either the first half of a pair, or a broken pair: the byte starts anew.
    ctl_first_ = byte;
    ctl_have_first_ = true;
    return;
  }
  ctl_have_first_ = false;
  uint8_t x = ctl_first_;
  if (ctl_state_ < 3 && (x == 0x12 || x == 0x34) && sync_pairs_seen_ < wake_up_pairs_) ++sync_pairs_seen_;
  switch (ctl_state_) {
    case 0: ctl_state_ = x == 0x34 ? 1 : 0; break;
    case 1: ctl_state_ = x == 0x00 ? 2 : (x == 0x34 ? 1 : 0); break;
    case 2:
      ctl_state_ = x == 0xFF ? 3 : (x == 0x34 ? 1 : 0);
      ctl_command_.clear();
      break;
    default:
      ctl_command_.push_back(x);
      if (ctl_command_.size() == 9) {
        ctl_state_ = 0;
        last_control_command_ = ctl_command_;
        ++stats_.control_frames;
        const bool awake = sync_pairs_seen_ >= wake_up_pairs_;
        sync_pairs_seen_ = 0;  // asleep again until the next wake-up
        if (!awake) {
          ++stats_.control_frames_asleep;
          break;
        }
        std::vector<uint8_t> reply = {0x12, 0x34, 0x12, 0x34, 0x12, 0x34, 0x00, 0xFF};
        reply.insert(reply.end(), control_reply_.begin(), control_reply_.end());
        std::vector<uint8_t> line = doubled(reply);
        out->insert(out->end(), line.begin(), line.end());
      }
      break;
  }
}

}  // namespace boxsim
