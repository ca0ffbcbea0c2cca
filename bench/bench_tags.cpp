// Timings of the tag code on real files: writing the ID3v1 record in place, converting a
// file to the RMP form (and writing an RMP file again), and reading a file's texts.
// The files live in TAGZO_BENCH_TMP (the environment variable wins over the built-in
// folder, which is beside the build so that the renames stay on one disk).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/formats/apply.h"
#include "core/formats/load.h"
#include "core/formats/tag.h"
#include "platform/file.h"

#ifndef TAGZO_BENCH_TMP
#define TAGZO_BENCH_TMP "bench-tmp"
#endif

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

// A stream of MPEG-1 layer III frame headers (128 kbit/s, 44.1 kHz: 417 bytes a frame)
// with noise in between, and an ID3v1 record at the end when `with_record`.
std::vector<unsigned char> make_mp3(size_t size, bool with_record) {
    std::vector<unsigned char> b(size);
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b[i] = static_cast<unsigned char>(x);
    }
    for (size_t i = 0; i + 4 <= size; i += 417) {
        b[i] = 0xFF;
        b[i + 1] = 0xFB;
        b[i + 2] = 0x90;
        b[i + 3] = 0x64;
    }
    if (with_record && size >= formats::k_record_size) {
        formats::Tag t{"Bench title", "Bench artist", "Bench album", "2001", "Bench comment", 12};
        formats::RecordBytes r = formats::make_record(t);
        std::copy(r.begin(), r.end(), b.end() - static_cast<std::ptrdiff_t>(r.size()));
    }
    return b;
}

void put_file(const fs::path& p, const std::vector<unsigned char>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << "bench_tags: cannot write " << p << "\n";
        std::exit(1);
    }
}

// 30 bytes fit the record; 40 need the RMP form.
formats::Tag short_tag(int64_t i) {
    return {"Title " + std::to_string(i % 1000), "Artist", "Album", "2024", "Comment", 17};
}
formats::Tag long_tag(int64_t i) {
    formats::Tag t = short_tag(i);
    t.title = "A title of forty bytes, too long: " + std::to_string(100000 + i % 100000);
    return t;
}

void fail(benchmark::State& state, const platform::Result& r) {
    state.SkipWithError(("apply failed: " + r.detail).c_str());
}

// The record written over the old one, or appended, through the same call the editor uses.
void BM_WriteId3Record(benchmark::State& state) {
    const bool has_record = state.range(1) != 0;
    fs::path p = g_dir / "id3.mp3";
    auto bytes = make_mp3(static_cast<size_t>(state.range(0)), has_record);
    put_file(p, bytes);
    int64_t i = 0;
    for (auto _ : state) {
        if (!has_record) {
            // Each append makes the file one record longer: start again from the bare file.
            state.PauseTiming();
            std::error_code ec;
            fs::resize_file(p, bytes.size(), ec);
            state.ResumeTiming();
        }
        auto r = formats::apply_tag_to_file(p.string(), short_tag(i++), formats::ApplyForm::id3, "bench");
        if (!r.ok()) return fail(state, r);
    }
    fs::remove(p);
}
BENCHMARK(BM_WriteId3Record)
    ->ArgNames({"size", "has_record"})
    ->Args({1 << 20, 1})
    ->Args({1 << 20, 0})
    ->Args({64 << 20, 1})
    ->Unit(benchmark::kMicrosecond);

// An ID3v1 file becomes an RMP file: the whole stream is copied into a new file beside it,
// which is synced and renamed over the old one. The original is put back between rounds.
void BM_ConvertToRmp(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    fs::path p = g_dir / "convert.mp3";
    auto bytes = make_mp3(size, true);
    int64_t i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        put_file(p, bytes);
        state.ResumeTiming();
        auto r = formats::apply_tag_to_file(p.string(), long_tag(i++), formats::ApplyForm::convert, "bench");
        if (!r.ok()) return fail(state, r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    fs::remove(p);
}
BENCHMARK(BM_ConvertToRmp)
    ->ArgName("size")
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Arg(16 << 20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// An RMP file written again with new texts: the same copy, without putting anything back.
void BM_RewriteRmp(benchmark::State& state) {
    const size_t size = static_cast<size_t>(state.range(0));
    fs::path p = g_dir / "rewrite.mp3";
    put_file(p, make_mp3(size, true));
    auto first = formats::apply_tag_to_file(p.string(), long_tag(0), formats::ApplyForm::convert, "bench");
    if (!first.ok()) return fail(state, first);
    int64_t i = 1;
    for (auto _ : state) {
        auto r = formats::apply_tag_to_file(p.string(), long_tag(i++), formats::ApplyForm::rewrite, "bench");
        if (!r.ok()) return fail(state, r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    fs::remove(p);
}
BENCHMARK(BM_RewriteRmp)->ArgName("size")->Arg(4 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening a file and reading what the editor's fields show: the record, and the RMP texts
// when the file is in that form.
void BM_OpenForEditing(benchmark::State& state) {
    const bool rmp = state.range(0) != 0;
    fs::path p = g_dir / (rmp ? "open_rmp.mp3" : "open_id3.mp3");
    put_file(p, make_mp3(4 << 20, true));
    if (rmp) {
        auto r = formats::apply_tag_to_file(p.string(), long_tag(0), formats::ApplyForm::convert, "bench");
        if (!r.ok()) return fail(state, r);
    }
    for (auto _ : state) {
        platform::File f;
        if (platform::Result opened = f.open(p.string(), platform::File::Mode::read); !opened) {
            state.SkipWithError(("open failed: " + opened.detail).c_str());
            return;
        }
        formats::ShownTexts s = formats::open_for_editing(f, true);
        if (s.title.empty() || s.rmp.is_rmp != rmp) {
            state.SkipWithError("the texts did not come back");
            return;
        }
        benchmark::DoNotOptimize(s);
    }
    fs::remove(p);
}
BENCHMARK(BM_OpenForEditing)->ArgName("rmp")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const char* env = std::getenv("TAGZO_BENCH_TMP");
    g_dir = fs::path(env && *env ? env : TAGZO_BENCH_TMP) / "bench_tags";
    std::error_code ec;
    fs::create_directories(g_dir, ec);
    if (ec) {
        std::cerr << "bench_tags: cannot create " << g_dir << ": " << ec.message() << "\n";
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(g_dir, ec);
    return 0;
}
