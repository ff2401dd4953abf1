// tvbox-gen: writes a chipset file made from a seed and, on request, the
// memory images a box holds after burning it.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gen/chipset_gen.h"

namespace {

const char kUsage[] =
    "usage: tvbox-gen --seed N --out FILE [--gzip] [--images DIR]\n"
    "                 [--flash-bytes N] [--osd-bytes N] [--pic-bytes N] [--glyphs N]\n"
    "       tvbox-gen --help | --version\n";

bool parse_number(const char* text, long long* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(text, &end, 0);
  return errno == 0 && *end == '\0';
}

int fail(const std::string& message) {
  std::fprintf(stderr, "tvbox-gen: %s\n%s", message.c_str(), kUsage);
  return 2;
}

struct Arguments {
  chipsetgen::Options options;
  std::string out, images;
  bool gzip = false, have_seed = false;
};

// Returns an empty string on success, else the error.
std::string parse_arguments(int argc, char** argv, Arguments* args) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--gzip") {
      args->gzip = true;
      continue;
    }
    if (i + 1 >= argc) return "missing value after " + name;
    const char* value = argv[++i];
    long long number = 0;
    if (name == "--out") {
      args->out = value;
      continue;
    }
    if (name == "--images") {
      args->images = value;
      continue;
    }
    if (!parse_number(value, &number) || number < 0 || number > INT_MAX)
      return "bad number '" + std::string(value) + "' for " + name;
    if (name == "--seed") {
      args->options.seed = uint32_t(number);
      args->have_seed = true;
    } else if (name == "--flash-bytes")
      args->options.flash_bytes = int(number);
    else if (name == "--osd-bytes")
      args->options.osd_bytes = int(number);
    else if (name == "--pic-bytes")
      args->options.pic_bytes = int(number);
    else if (name == "--glyphs")
      args->options.glyphs = int(number);
    else
      return "unknown option " + name;
  }
  if (!args->have_seed) return "--seed is required";
  if (args->out.empty()) return "--out is required";
  return chipsetgen::check_options(args->options);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::puts("tvbox-gen " TVBOX_VERSION);
    return 0;
  }
  Arguments args;
  std::string error = parse_arguments(argc, argv, &args);
  if (!error.empty()) return fail(error);
  chipsetgen::Generated generated = chipsetgen::generate(args.options);
  // The images first: a chipset file is only left behind when the images
  // that say what a box must hold after burning it were written too.
  if (!args.images.empty() && !chipsetgen::write_images(generated.images, args.images, &error))
    return fail(error);
  if (!chipsetgen::write_chipset(args.out, generated.text, args.gzip, &error)) {
    std::remove(args.out.c_str());
    return fail(error);
  }
  return 0;
}
