// String and conversion speed, each against the function it competes with,
// measured in the same run: ICU's UTF-8 conversions called directly,
// mbstowcs in a UTF-8 locale, strcasecmp, and std::u16string_view; on Windows
// MultiByteToWideChar from the ANSI code page and _stricmp.
#include <benchmark/benchmark.h>
#include <qvcore5/qvcore.h>
#include <unicode/ustring.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <strings.h>
#endif

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kMiB = 1 << 20;

// About 1 MiB of UTF-8 mixing Latin, Greek, Cyrillic, CJK, emoji and ASCII.
const std::string& MixedUtf8() {
  static const std::string text = [] {
    const char* pieces[] = {"The quick brown fox ", "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, ",
                            "\xCE\xBA\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 ",
                            "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 ",
                            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87 ",
                            "\xF0\x9F\x98\x80\xF0\x9F\x8E\x89 ", "jumps over 13 lazy dogs. "};
    std::string s;
    for (size_t i = 0; s.size() < kMiB; ++i) s += pieces[i % (sizeof pieces / sizeof *pieces)];
    return s;
  }();
  return text;
}

const std::u16string& MixedUtf16() {
  static const std::u16string text = [] {
    std::u16string w(MixedUtf8().size() + 1, u'\0');
    int32_t n = QVUTF8ToUTF16(w.data(), MixedUtf8().c_str(), static_cast<int32_t>(w.size()));
    w.resize(n);
    return w;
  }();
  return text;
}

void BM_QVUTF8ToUTF16(benchmark::State& state) {
  const std::string& src = MixedUtf8();
  std::vector<QVWCHAR> out(src.size() + 1);
  for (auto _ : state) {
    int32_t n = QVUTF8ToUTF16(out.data(), src.c_str(), static_cast<int32_t>(out.size()));
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * src.size());
}

void BM_IcuFromUTF8(benchmark::State& state) {
  const std::string& src = MixedUtf8();
  std::vector<UChar> out(src.size() + 1);
  for (auto _ : state) {
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &n, src.c_str(), -1, &status);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * src.size());
}

void BM_QVUTF16ToUTF8(benchmark::State& state) {
  const std::u16string& src = MixedUtf16();
  std::vector<char> out(src.size() * 3 + 1);
  for (auto _ : state) {
    int32_t n = QVUTF16ToUTF8(out.data(), src.c_str(), static_cast<int32_t>(out.size()));
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * src.size() * 2);
}

void BM_IcuToUTF8(benchmark::State& state) {
  const std::u16string& src = MixedUtf16();
  std::vector<char> out(src.size() * 3 + 1);
  for (auto _ : state) {
    int32_t n = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &n, src.c_str(), -1, &status);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * src.size() * 2);
}

const std::string& Ascii() {
  static const std::string text = [] {
    std::string s;
    while (s.size() < kMiB) s += "Plain ASCII configuration text, key=value; path/to/file.ini 0123456789\n";
    s.resize(kMiB);
    return s;
  }();
  return text;
}

void BM_QVAnsiToUnicode(benchmark::State& state) {
  const std::string& src = Ascii();
  std::vector<QVWCHAR> out(src.size() + 1);
  for (auto _ : state) {
    size_t n = QVAnsiToUnicode(out.data(), src.c_str(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * src.size());
}

// The platform's narrow-to-wide conversion.
#ifdef _WIN32
void BM_PlatformNarrowToWide(benchmark::State& state) {
  const std::string& src = Ascii();
  std::vector<wchar_t> out(src.size() + 1);
  for (auto _ : state) {
    int n = MultiByteToWideChar(CP_ACP, 0, src.c_str(), -1, out.data(), static_cast<int>(out.size()));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * src.size());
}
#else
void BM_PlatformNarrowToWide(benchmark::State& state) {
  const std::string& src = Ascii();
  std::vector<wchar_t> out(src.size() + 1);
  for (auto _ : state) {
    size_t n = std::mbstowcs(out.data(), src.c_str(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * src.size());
}
#endif

// Pairs of strings of the given length: equal but for case, or also
// differing in the last byte ("nearly equal"). The four pairs sit at
// different offsets from a cache line, and both functions see the same ones,
// so alignment luck cannot favour either.
#ifdef _WIN32
void* AlignedAlloc(size_t alignment, size_t size) { return _aligned_malloc(size, alignment); }
void AlignedFree(void* p) { _aligned_free(p); }
int PlatformStrICmp(const char* a, const char* b) { return _stricmp(a, b); }
#else
void* AlignedAlloc(size_t alignment, size_t size) { return std::aligned_alloc(alignment, size); }
void AlignedFree(void* p) { std::free(p); }
int PlatformStrICmp(const char* a, const char* b) { return strcasecmp(a, b); }
#endif

class CasePairs {
 public:
  CasePairs(size_t length, bool nearly) : m_storage(static_cast<char*>(AlignedAlloc(64, 8 * kSlot))) {
    const char* word = "Software\\Vendor\\Product_Settings.Key-";
    for (size_t k = 0; k < 4; ++k) {
      char* a = m_storage + 2 * k * kSlot + 16 * k;
      char* b = m_storage + (2 * k + 1) * kSlot + 16 * ((k + 1) % 4);
      for (size_t i = 0; i < length; ++i) {
        a[i] = word[i % std::strlen(word)];
        b[i] = (a[i] >= 'a' && a[i] <= 'z') ? static_cast<char>(a[i] - 32) : a[i];
      }
      a[length] = b[length] = '\0';
      if (nearly) b[length - 1] = '#';
      m_a[k] = a;
      m_b[k] = b;
    }
  }
  ~CasePairs() { AlignedFree(m_storage); }
  const char* a(size_t k) const { return m_a[k & 3]; }
  const char* b(size_t k) const { return m_b[k & 3]; }

 private:
  static constexpr size_t kSlot = 2048;
  char* m_storage;
  const char* m_a[4];
  const char* m_b[4];
};

template <class Compare>
void RunCaseCompare(benchmark::State& state, Compare compare) {
  CasePairs pairs(state.range(0), state.range(1) != 0);
  size_t k = 0;
  for (auto _ : state) {
    const char* a = pairs.a(k);
    const char* b = pairs.b(k++);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    int r = compare(a, b);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_QVStrICmpA(benchmark::State& state) { RunCaseCompare(state, QVStrICmpA); }
void BM_PlatformStrICmp(benchmark::State& state) { RunCaseCompare(state, PlatformStrICmp); }

// 4 KiB of UTF-16 (2048 units, terminator excluded).
constexpr size_t kUnits = 2048;

std::u16string WideText(char16_t last) {
  std::u16string s;
  for (size_t i = 0; i < kUnits - 1; ++i) s += static_cast<char16_t>(u'a' + i % 23);
  s += last;
  return s;
}

void BM_QVStrLenW(benchmark::State& state) {
  std::u16string s = WideText(u'z');
  const QVWCHAR* p = s.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    uint32_t n = QVStrLenW(p);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * kUnits * 2);
}

void BM_u16view_size(benchmark::State& state) {
  std::u16string s = WideText(u'z');
  const char16_t* p = s.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    size_t n = std::u16string_view(p).size();
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * kUnits * 2);
}

void BM_QVStrCmpW(benchmark::State& state) {
  std::u16string s = WideText(u'z'), t = WideText(u'z');
  const QVWCHAR* a = s.c_str();
  const QVWCHAR* b = t.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    int r = QVStrCmpW(a, b);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * kUnits * 2);
}

void BM_u16view_compare(benchmark::State& state) {
  std::u16string s = WideText(u'z'), t = WideText(u'z');
  const char16_t* a = s.c_str();
  const char16_t* b = t.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    int r = std::u16string_view(a).compare(b);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * kUnits * 2);
}

void BM_QVStrChrW(benchmark::State& state) {
  std::u16string s = WideText(u'!');  // the character searched for is the last one
  const QVWCHAR* p = s.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    QVWCHAR* r = QVStrChrW(p, u'!');
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * kUnits * 2);
}

void BM_u16view_find(benchmark::State& state) {
  std::u16string s = WideText(u'!');
  const char16_t* p = s.c_str();
  for (auto _ : state) {
    benchmark::DoNotOptimize(p);
    size_t r = std::u16string_view(p).find(u'!');
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * kUnits * 2);
}

}  // namespace

BENCHMARK(BM_QVUTF8ToUTF16);
BENCHMARK(BM_IcuFromUTF8);
BENCHMARK(BM_QVUTF16ToUTF8);
BENCHMARK(BM_IcuToUTF8);
BENCHMARK(BM_QVAnsiToUnicode);
BENCHMARK(BM_PlatformNarrowToWide);
BENCHMARK(BM_QVStrICmpA)->ArgsProduct({{8, 32, 128, 1024}, {0, 1}});
BENCHMARK(BM_PlatformStrICmp)->ArgsProduct({{8, 32, 128, 1024}, {0, 1}});
BENCHMARK(BM_QVStrLenW);
BENCHMARK(BM_u16view_size);
BENCHMARK(BM_QVStrCmpW);
BENCHMARK(BM_u16view_compare);
BENCHMARK(BM_QVStrChrW);
BENCHMARK(BM_u16view_find);

int main(int argc, char** argv) {
  // The library has already set the user's locale; mbstowcs must work in a
  // UTF-8 one for the comparison to mean anything. Windows compares with
  // the ANSI code page, which is the library's narrow encoding there.
#ifndef _WIN32
  if (MB_CUR_MAX == 1) std::setlocale(LC_CTYPE, "C.UTF-8");
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
