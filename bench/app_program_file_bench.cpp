#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/ZelmirtPgmForm.h"
#include "base/Format.h"

namespace {
// About 1 MB of Intel HEX: 16-byte data records over the whole address field (a quarter of
// them blank, those at F800 and above protected), with extended-address records between.
// Checksums are never examined, so they are left at 00.
std::string MakeHexFile() {
  std::string content;
  unsigned segment = 0;
  while (content.size() < 1'000'000) {
    content += Format(":02000004%04X00\r\n", segment);
    for (unsigned address = 0; address < 0x10000 && content.size() < 1'000'000; address += 16) {
      const bool blank = (address / 16) % 4 == 0;
      std::string data;
      for (unsigned i = 0; i < 16; ++i) data += blank ? "FF" : Format("%02X", (address + i) & 0xFF);
      content += Format(":10%04X00%s00\r\n", address, data.c_str());
    }
    ++segment;
  }
  return content;
}

class TScratchFile {
public:
  explicit TScratchFile(const std::string& Content) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelmirt-bench-XXXXXX").string();
    const int descriptor = mkstemp(pattern.data());
    if (descriptor >= 0) close(descriptor);
    FPath = pattern;
    std::ofstream(FPath, std::ios::binary) << Content;
  }
  ~TScratchFile() { std::remove(FPath.c_str()); }
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};

void BM_LoadAndFilterOneMegabyteHexFile(benchmark::State& State) {
  const TScratchFile hex(MakeHexFile());
  const TScratchFile settings("");
  TZelmirt_PgmForm form(settings.Path());
  for (auto _ : State) {
    form.LoadProgramFile(hex.Path());
    form.FilterProgramLines();
    benchmark::DoNotOptimize(form.ProgramLines().Count());
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(hex.Path())));
  State.counters["records_kept"] = form.ProgramLines().Count();
}
BENCHMARK(BM_LoadAndFilterOneMegabyteHexFile)->Unit(benchmark::kMillisecond);
}  // namespace
