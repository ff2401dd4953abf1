#include "burn/resume_check.h"

#include <algorithm>
#include <map>

#include "burn/log_sentences.h"
#include "burn/read_back.h"

namespace tv {
namespace {

using SampleBytes = std::vector<std::pair<int, uint8_t>>;

// The first and the last bytes the image holds in the block at `start`.
void sample_block(const WrittenImage& image, int start, SampleBytes* sample) {
  const int end = std::min(start + kSampleBlockBytes, WrittenImage::kSpan);
  std::vector<int> held;
  for (int address = start; address < end; ++address)
    if (image.written(address)) held.push_back(address);
  const size_t ends = size_t(kSampleBytesPerEnd);
  for (size_t i = 0; i < held.size(); ++i)
    if (i < ends || i + ends >= held.size()) sample->emplace_back(held[i], image.value(held[i]));
}

// The flash sectors the burn being resumed finished: all of them once the
// stage was done, else those before the record it stopped at.
std::vector<bool> finished_sectors(const LoadedChipset& chipset, const ResumePoint& point) {
  const size_t sectors = size_t(WrittenImage::kSpan / kFlashSectorBytes + 1);
  if (point.done & section_flag(Section::Flash)) return std::vector<bool>(sectors, true);
  const SectionText* text = chipset.sections ? chipset.sections->of(Section::Flash) : nullptr;
  if (point.flash_from < 0 || !text) return std::vector<bool>(sectors, false);
  return finished_flash_sectors(lines_of(*text), point.flash_from);
}

// Read starts covering every sampled address, 4 bytes a read.
std::vector<int> reads_for(const SampleBytes& sample) {
  std::vector<int> reads;
  for (const auto& byte : sample)
    if (reads.empty() || byte.first >= reads.back() + kBytesPerRead) reads.push_back(byte.first);
  return reads;
}

void compare_read(const std::map<int, uint8_t>& expected, Section stage, int address,
                  const uint8_t (&bytes)[kBytesPerRead], SampleVerdict* verdict) {
  for (int i = 0; i < kBytesPerRead; ++i) {
    const auto want = expected.find(address + i);
    if (want == expected.end() || want->second == bytes[i]) continue;
    if (verdict->differ++ > 0) continue;
    verdict->first_stage = stage;
    verdict->first_address = address + i;
    verdict->first_file = want->second;
    verdict->first_box = bytes[i];
  }
}

}  // namespace

ResumeSample resume_sample(const LoadedChipset& chipset, const ResumePoint& point) {
  ResumeSample sample;
  const std::vector<bool> sectors = finished_sectors(chipset, point);
  if (std::find(sectors.begin(), sectors.end(), true) != sectors.end()) {
    const WrittenImage flash = image_to_burn(chipset, Section::Flash);
    for (size_t s = 0; s < sectors.size(); ++s)
      if (sectors[s]) sample_block(flash, int(s) * kFlashSectorBytes, &sample.flash);
  }
  if (point.done & section_flag(Section::Osd)) {
    const WrittenImage osd = image_to_burn(chipset, Section::Osd);
    for (int start = 0; start < WrittenImage::kSpan; start += kSampleBlockBytes)
      sample_block(osd, start, &sample.osd);
  }
  return sample;
}

SampleVerdict read_resume_sample(WriterContext& context, const ResumeSample& sample) {
  SampleVerdict verdict;
  const std::pair<Section, const SampleBytes*> memories[] = {{Section::Flash, &sample.flash},
                                                             {Section::Osd, &sample.osd}};
  for (const auto& memory : memories) {
    if (memory.second->empty()) continue;
    const Section stage = memory.first;
    const std::map<int, uint8_t> expected(memory.second->begin(), memory.second->end());
    context.section = section_info(stage).stage;
    verdict.read = read_memory(context, stage, reads_for(*memory.second),
                               [&](int address, const uint8_t(&bytes)[kBytesPerRead]) {
                                 compare_read(expected, stage, address, bytes, &verdict);
                               });
    if (verdict.read != WriteResult::Done) break;
  }
  return verdict;
}

std::string other_box_line(const ResumePlan& plan) {
  if (plan.started.empty() && plan.port.empty()) return sentence::kOtherBox;
  if (plan.port.empty()) return fill_sentence(sentence::kOtherBoxStarted, {plan.started});
  if (plan.started.empty()) return fill_sentence(sentence::kOtherBoxPort, {plan.port});
  return fill_sentence(sentence::kOtherBoxBoth, {plan.started, plan.port});
}

}  // namespace tv
