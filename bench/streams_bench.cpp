// Stream throughput: the library's streams on nkhost's file store beside glibc's stdio on
// the same bytes in the same directory. A write pass opens a file, writes 1 MiB in chunks
// and closes it (the store included); a read pass opens a 1 MiB file and reads it through.
// Small whole files, at the top of the store and three folders down, show what looking a
// name up costs.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "bench/support/bench_machine.h"

namespace {

using nk::bench::library;
using nk::bench::machine;

constexpr size_t kFileBytes = 1 << 20;
constexpr size_t kSmallBytes = 100;

struct Stream;
using Open = Stream*(const char*, const char*);
using Close = int(Stream*);
using Write = size_t(const void*, size_t, size_t, Stream*);
using Read = size_t(void*, size_t, size_t, Stream*);
using Getc = int(Stream*);

// One store directory for the whole run, holding the file the read passes read; removed
// at exit.
struct Store {
  Store() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nk_bench_XXXXXX").string();
    path = mkdtemp(pattern.data());
    machine().files().set_root(path);
    std::string bytes(kFileBytes, 'r');
    FILE* file = std::fopen((path + "/input").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    std::filesystem::create_directories(path + "/a/b/c");
    for (const char* name : {"/small", "/a/b/c/small"}) {
      file = std::fopen((path + name).c_str(), "wb");
      std::fwrite(bytes.data(), 1, kSmallBytes, file);
      std::fclose(file);
    }
  }
  ~Store() { std::filesystem::remove_all(path); }
  std::string path;
};

const std::string& store() {
  static const Store directory;
  return directory.path;
}

template <class S, class W, class C>
void write_pass(benchmark::State& state, S* (*open)(const char*, const char*), W write, C close,
                const std::string& name) {
  std::string chunk(size_t(state.range(0)), 'w');
  for (auto _ : state) {
    S* stream = open(name.c_str(), "wb");
    for (size_t done = 0; done < kFileBytes; done += chunk.size()) write(chunk.data(), 1, chunk.size(), stream);
    close(stream);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
}

template <class S, class R, class C>
void read_pass(benchmark::State& state, S* (*open)(const char*, const char*), R read, C close,
               const std::string& name) {
  std::string chunk(size_t(state.range(0)), 0);
  for (auto _ : state) {
    S* stream = open(name.c_str(), "rb");
    while (read(chunk.data(), 1, chunk.size(), stream) == chunk.size()) {}
    close(stream);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
}

template <class S, class G, class C>
void getc_pass(benchmark::State& state, S* (*open)(const char*, const char*), G getc, C close,
               const std::string& name) {
  for (auto _ : state) {
    S* stream = open(name.c_str(), "rb");
    while (getc(stream) != -1) {}
    close(stream);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileBytes));
}

void BM_StreamWrite_Nkhost(benchmark::State& state) {
  store();
  write_pass(state, library().function<Open>("nkfs_fopen"), library().function<Write>("nkfs_fwrite"),
             library().function<Close>("nkfs_fclose"), "output");
}
void BM_StreamWrite_Linux(benchmark::State& state) {
  write_pass(state, std::fopen, std::fwrite, std::fclose, store() + "/output");
}
void BM_StreamRead_Nkhost(benchmark::State& state) {
  store();
  read_pass(state, library().function<Open>("nkfs_fopen"), library().function<Read>("nkfs_fread"),
            library().function<Close>("nkfs_fclose"), "input");
}
void BM_StreamRead_Linux(benchmark::State& state) {
  read_pass(state, std::fopen, std::fread, std::fclose, store() + "/input");
}
void BM_StreamGetc_Nkhost(benchmark::State& state) {
  store();
  getc_pass(state, library().function<Open>("nkfs_fopen"), library().function<Getc>("nkfs_getc"),
            library().function<Close>("nkfs_fclose"), "input");
}
void BM_StreamGetc_Linux(benchmark::State& state) {
  getc_pass(state, std::fopen, [](FILE* file) { return std::getc(file); }, std::fclose, store() + "/input");
}

const char* small_name(benchmark::State& state) { return state.range(0) ? "a/b/c/small" : "small"; }

void BM_SmallRead_Nkhost(benchmark::State& state) {
  store();
  auto read = library().function<bool(const char*, void**, uint64_t*)>("nkfs_read_entire_file");
  auto release = library().function<void(void*)>("free");
  for (auto _ : state) {
    void* data;
    uint64_t size;
    if (!read(small_name(state), &data, &size)) state.SkipWithError("not read");
    release(data);
  }
}
void BM_SmallRead_Linux(benchmark::State& state) {
  std::string path = store() + "/" + small_name(state);
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "rb");
    char data[kSmallBytes];
    benchmark::DoNotOptimize(std::fread(data, 1, sizeof data, file));
    std::fclose(file);
  }
}
void BM_SmallWrite_Nkhost(benchmark::State& state) {
  store();
  auto write = library().function<bool(const char*, const void*, uint64_t)>("nkfs_write_entire_file");
  std::string bytes(kSmallBytes, 's');
  for (auto _ : state)
    if (!write(small_name(state), bytes.data(), bytes.size())) state.SkipWithError("not stored");
}

BENCHMARK(BM_SmallRead_Nkhost)->Arg(0)->Arg(1);
BENCHMARK(BM_SmallRead_Linux)->Arg(0)->Arg(1);
BENCHMARK(BM_SmallWrite_Nkhost)->Arg(0)->Arg(1);
BENCHMARK(BM_StreamWrite_Nkhost)->Arg(16)->Arg(4096);
BENCHMARK(BM_StreamWrite_Linux)->Arg(16)->Arg(4096);
BENCHMARK(BM_StreamRead_Nkhost)->Arg(16)->Arg(4096);
BENCHMARK(BM_StreamRead_Linux)->Arg(16)->Arg(4096);
BENCHMARK(BM_StreamGetc_Nkhost);
BENCHMARK(BM_StreamGetc_Linux);

}  // namespace
