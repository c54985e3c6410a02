// The bounded copy and append of every family: any destination size,
// count, initial contents (terminated or not) and source. Nothing may be
// written outside the size, the result is always terminated inside it, and
// the text that was there before the append stays.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_guard.h"
#include "qvcore5/qvcore.h"

namespace {

template <class Unit>
struct Family {
  Unit* (*copy)(Unit*, uint32_t, const Unit*, uint32_t);
  Unit* (*append)(Unit*, uint32_t, const Unit*, uint32_t);
};

template <class Unit>
void Run(const Family<Unit>& f, const uint8_t* data, size_t size) {
  if (size < 3) return;
  uint32_t dsize = data[0] % 40;
  uint32_t count = data[1] < 250 ? data[1] % 48 : 0xFFFFFFFFu - data[1];
  size_t held = data[2] % 48;
  data += 3;
  size -= 3;
  size_t units = size / sizeof(Unit);
  auto source = std::make_unique<Unit[]>(units + 1);  // exact size: reading past the end shows
  if (units > 0) std::memcpy(source.get(), data, units * sizeof(Unit));
  source[units] = 0;

  GuardedBuffer<Unit> copy(dsize);
  for (uint32_t i = 0; i < dsize; ++i) copy.data()[i] = static_cast<Unit>('#');
  f.copy(copy.data(), dsize, source.get(), count);
  copy.Check();
  if (dsize > 0) {
    size_t m = std::min<size_t>(count, dsize - 1);
    if (copy.data()[m] != 0) std::abort();
  }

  GuardedBuffer<Unit> app(dsize);
  for (uint32_t i = 0; i < dsize; ++i) app.data()[i] = i < held ? static_cast<Unit>('A' + i % 26) : 0;
  std::vector<Unit> before(app.data(), app.data() + dsize);
  f.append(app.data(), dsize, source.get(), count);
  app.Check();
  if (dsize > 0) {
    size_t at = std::min<size_t>(held, dsize - 1);
    for (size_t i = 0; i < at; ++i)
      if (app.data()[i] != before[i]) std::abort();
    bool terminated = false;
    for (uint32_t i = 0; i < dsize; ++i) terminated |= app.data()[i] == 0;
    if (!terminated) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run<char>({QVStrNZCpyA, QVStrNZCatA}, data, size);
  Run<QVWCHAR>({QVStrNZCpyW, QVStrNZCatW}, data, size);
  Run<QVWCHAR>({QVStrNZCpyUTF16, QVStrNZCatUTF16}, data, size);
  return 0;
}
