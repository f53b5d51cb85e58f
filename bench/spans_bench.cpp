// Filling and copying a 1024-pixel row and a whole 1024 x 768 page at 32
// bits per pixel: the plain and the packed span routines beside memset
// and memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include <fb/gfx/image.h>
#include <fb/gfx/spans.h>
#include <fb/platform/runtime.h>

using namespace fb;

namespace {

struct Buffers {
  explicit Buffers(size_t pixels)
      : dst(static_cast<uint32_t*>(AllocAligned16(pixels * 4))),
        src(static_cast<uint32_t*>(AllocAligned16(pixels * 4))) {
    std::memset(dst, 1, pixels * 4);
    std::memset(src, 2, pixels * 4);
  }
  ~Buffers() {
    FreeAligned16(dst);
    FreeAligned16(src);
  }
  uint32_t* dst;
  uint32_t* src;
};

enum Kind { Memory, Plain, Packed };

void Fill(benchmark::State& state, Kind kind) {
  const size_t pixels = size_t(state.range(0));
  Buffers b(pixels);
  const SpanRoutines& spans = kind == Packed ? PackedSpans(4) : PlainSpans(4);
  for (auto _ : state) {
    if (kind == Memory)
      std::memset(b.dst, 0x40, pixels * 4);
    else
      spans.FillSpan(b.dst, 0x40404040, pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixels) * 4);
}

void Copy(benchmark::State& state, Kind kind) {
  const size_t pixels = size_t(state.range(0));
  Buffers b(pixels);
  const SpanRoutines& spans = kind == Packed ? PackedSpans(4) : PlainSpans(4);
  for (auto _ : state) {
    if (kind == Memory)
      std::memcpy(b.dst, b.src, pixels * 4);
    else
      spans.CopySpan(b.dst, b.src, pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pixels) * 4);
}

constexpr int64_t ROW = 1024;
constexpr int64_t PAGE = 1024 * 768;

BENCHMARK_CAPTURE(Fill, memset, Memory)->Arg(ROW)->Arg(PAGE);
BENCHMARK_CAPTURE(Fill, plain, Plain)->Arg(ROW)->Arg(PAGE);
BENCHMARK_CAPTURE(Fill, packed, Packed)->Arg(ROW)->Arg(PAGE);
BENCHMARK_CAPTURE(Copy, memcpy, Memory)->Arg(ROW)->Arg(PAGE);
BENCHMARK_CAPTURE(Copy, plain, Plain)->Arg(ROW)->Arg(PAGE);
BENCHMARK_CAPTURE(Copy, packed, Packed)->Arg(ROW)->Arg(PAGE);

}  // namespace
