// Cost of one register access on the Linux back end's two paths, measured
// through the library's locked accessor: a memory register space (a store
// into the mmap of resource1) and an I/O register space (a pwrite/pread of
// resource1 behind the transfer request). The bare operations underneath, a
// volatile store into a mapped file and a pwrite of 4 bytes, run in the same
// binary, and each library path reports its cost as a ratio to both
// (counters x_volatile_store and x_pwrite).
#if defined(__linux__)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>

#include "device/backends/linux_pci_backend.h"
#include "device/driver_backend.h"
#include "kpx4160.h"
#include "support/fake_sysfs.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint16_t kPldOutputPort = 0x44;
constexpr uint16_t kPldInputPort = 0x4C;

// Nanoseconds per operation of the bare baselines, from their runs.
double g_bare_store_ns = 0;
double g_bare_pwrite_ns = 0;

double NsPerIteration(Clock::time_point start, const benchmark::State &state) {
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  return state.iterations() > 0 ? ns / static_cast<double>(state.iterations()) : 0;
}

void ReportRatios(benchmark::State &state, double ns) {
  if (g_bare_store_ns > 0) state.counters["x_volatile_store"] = ns / g_bare_store_ns;
  if (g_bare_pwrite_ns > 0) state.counters["x_pwrite"] = ns / g_bare_pwrite_ns;
}

void BM_BareVolatileStore(benchmark::State &state) {
  kpx::test::FakeSysfs tree;
  const std::string path = tree.Root() + "/space";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
  if (fd < 0 || ::ftruncate(fd, 0x100) != 0) {
    state.SkipWithError("cannot create the mapped file");
    return;
  }
  void *base = ::mmap(nullptr, 0x100, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (base == MAP_FAILED) {
    state.SkipWithError("mmap failed");
    return;
  }
  auto *reg = reinterpret_cast<volatile uint32_t *>(static_cast<uint8_t *>(base) + kPldOutputPort);
  uint32_t v = 0;
  const auto start = Clock::now();
  for (auto _ : state) *reg = ++v;
  g_bare_store_ns = NsPerIteration(start, state);
  ::munmap(base, 0x100);
}
BENCHMARK(BM_BareVolatileStore);

void BM_BarePwrite(benchmark::State &state) {
  kpx::test::FakeSysfs tree;
  const std::string path = tree.Root() + "/space";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0644);
  if (fd < 0 || ::ftruncate(fd, 0x100) != 0) {
    state.SkipWithError("cannot create the file");
    return;
  }
  uint32_t v = 0;
  const auto start = Clock::now();
  for (auto _ : state) {
    ++v;
    benchmark::DoNotOptimize(::pwrite(fd, &v, sizeof v, kPldOutputPort));
  }
  g_bare_pwrite_ns = NsPerIteration(start, state);
  ::close(fd);
}
BENCHMARK(BM_BarePwrite);

// One card on a fake tree, its register space memory or I/O, opened by the
// library for the length of one benchmark run.
class OpenFakeCard {
 public:
  explicit OpenFakeCard(bool io) {
    tree_.Add(kpx::test::KpxCard("0000:01:00.0", io, 0));
    backend_ = std::make_unique<kpx::device::LinuxPciBackend>(tree_.SysRoot(), tree_.DevRoot());
    kpx::device::SetDriverBackendForTesting(&backend_->Operations());
    ok_ = k4160_board_init() == 1;
  }
  ~OpenFakeCard() {
    if (ok_) k4160_board_close();
    kpx::device::SetDriverBackendForTesting(nullptr);
  }
  bool ok() const { return ok_; }

 private:
  kpx::test::FakeSysfs tree_;
  std::unique_ptr<kpx::device::LinuxPciBackend> backend_;
  bool ok_ = false;
};

void BM_LibraryPldWrite(benchmark::State &state, bool io) {
  OpenFakeCard card(io);
  if (!card.ok()) {
    state.SkipWithError("the library did not open the fake card");
    return;
  }
  uint32_t v = 0;
  const auto start = Clock::now();
  for (auto _ : state) write_dword_pld_register(0, kPldOutputPort, ++v);
  ReportRatios(state, NsPerIteration(start, state));
}
BENCHMARK_CAPTURE(BM_LibraryPldWrite, memory_space, false);
BENCHMARK_CAPTURE(BM_LibraryPldWrite, io_space, true);

void BM_LibraryPldRead(benchmark::State &state, bool io) {
  OpenFakeCard card(io);
  if (!card.ok()) {
    state.SkipWithError("the library did not open the fake card");
    return;
  }
  const auto start = Clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(read_dword_pld_register(0, kPldInputPort));
  ReportRatios(state, NsPerIteration(start, state));
}
BENCHMARK_CAPTURE(BM_LibraryPldRead, memory_space, false);
BENCHMARK_CAPTURE(BM_LibraryPldRead, io_space, true);

}  // namespace

#endif  // __linux__
