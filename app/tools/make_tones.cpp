// Writes the program's sound-event tones: one short WAV file per event name
// given, each at its own pitch. Run at build time into the program directory.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void put16(std::ofstream& out, std::uint16_t v) {
  const char bytes[] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  out.write(bytes, 2);
}

void put32(std::ofstream& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  put16(out, static_cast<std::uint16_t>(v >> 16));
}

bool writeTone(const std::string& path, double frequency) {
  constexpr std::uint32_t kRate = 8000;
  constexpr std::uint32_t kSamples = kRate * 3 / 10;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write("RIFF", 4);
  put32(out, 36 + kSamples * 2);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, 1);  // PCM
  put16(out, 1);  // mono
  put32(out, kRate);
  put32(out, kRate * 2);
  put16(out, 2);
  put16(out, 16);
  out.write("data", 4);
  put32(out, kSamples * 2);
  for (std::uint32_t i = 0; i < kSamples; ++i) {
    // A short fade at both ends keeps the tone from clicking.
    const double edge = std::min(1.0, std::min(i, kSamples - i) / 400.0);
    const double sample = std::sin(2 * M_PI * frequency * i / kRate) * 9000 * edge;
    put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(sample)));
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <directory> <file>...\n", argv[0]);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const std::string path = std::string(argv[1]) + "/" + argv[i];
    if (!writeTone(path, 440.0 * std::pow(2.0, (i - 2) / 12.0))) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
      return 1;
    }
  }
  return 0;
}
