// Runs a fuzz target without libFuzzer: every file of a corpus, then a number of random
// mutations of them. The mutations come from a fixed seed, so a run is the same every time
// and a failure can be run again. This is plain random fuzzing; nothing steers it towards
// new code.
//
//     fuzz_rmp <corpus folder or file> [mutations, default 10000] [seed, default 20240601]
//
// When an input crashes, trips a sanitizer, breaks an invariant or runs too long, it is
// written to <program>-crash.bin in the current folder before the process ends.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "tests/fuzz/fuzz_check.h"

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace {

using Bytes = std::vector<uint8_t>;

constexpr unsigned k_input_timeout_seconds = 20;

// What the failure handlers need, set before each input; plain data so that a signal handler
// may read it.
const uint8_t* g_current = nullptr;
size_t g_current_size = 0;
uint64_t g_current_index = 0;
char g_crash_path[4096] = "fuzz-crash.bin";

void put_text(const char* s) {
    ssize_t r = write(2, s, std::strlen(s));
    (void)r;
}

void put_number(uint64_t v) {
    char buf[24];
    char* p = buf + sizeof buf;
    *--p = 0;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    put_text(p);
}

// Only calls that are safe inside a signal handler.
void save_current_input() {
    static volatile sig_atomic_t saved = 0;
    if (saved || !g_current) return;
    saved = 1;
    int fd = open(g_crash_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        size_t done = 0;
        while (done < g_current_size) {
            ssize_t w = write(fd, g_current + done, g_current_size - done);
            if (w <= 0) break;
            done += static_cast<size_t>(w);
        }
        close(fd);
    }
    put_text("\n==== fuzz driver: input #");
    put_number(g_current_index);
    put_text(" (");
    put_number(g_current_size);
    put_text(" bytes) failed; saved as ");
    put_text(g_crash_path);
    put_text("\n");
}

void on_fatal_signal(int sig) {
    save_current_input();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void on_timeout(int) {
    put_text("\n==== fuzz driver: input ran longer than the time limit\n");
    save_current_input();
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

void install_handlers(const char* program) {
    std::string name = std::filesystem::path(program).filename().string() + "-crash.bin";
    std::snprintf(g_crash_path, sizeof g_crash_path, "%s", name.c_str());
    // The sanitizers report and exit through their own path; the callback runs on it.
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(save_current_input);
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(sig, on_fatal_signal);
    std::signal(SIGALRM, on_timeout);
}

// A run of a target on one input, in a block of exactly its size so that a read past the
// end is caught by the address sanitizer.
void run_one(const Bytes& input, uint64_t index) {
    uint8_t* block = static_cast<uint8_t*>(std::malloc(input.size() ? input.size() : 1));
    if (!block) {
        std::fprintf(stderr, "out of memory\n");
        std::exit(2);
    }
    if (!input.empty()) std::memcpy(block, input.data(), input.size());
    g_current = block;
    g_current_size = input.size();
    g_current_index = index;
    alarm(k_input_timeout_seconds);
    LLVMFuzzerTestOneInput(block, input.size());
    alarm(0);
    g_current = nullptr;
    std::free(block);
}

// The generator and the choices are spelled out rather than left to <random>'s
// distributions, whose results differ between standard libraries.
class Rng {
public:
    explicit Rng(uint64_t seed) : gen_(seed) {}
    uint64_t next() { return gen_(); }
    // A number in [0, n); n > 0.
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
    bool one_in(size_t n) { return below(n) == 0; }

private:
    std::mt19937_64 gen_;
};

const char* const k_tokens[] = {"RIFF", "RMP3", "data", "LIST",  "INFO", "IID3", "INAM", "IART",
                                "IPRD", "ICMT", "ICRD", "IGNR",  "ICOP", "IENG", "ISRC", "ISFT",
                                "TAG",  "ID3",  "PK",   "-lh5-", "WAVE", "JUNK"};

class Mutator {
public:
    Mutator(const std::vector<Bytes>& corpus, size_t max_size, uint64_t seed)
        : corpus_(corpus), max_size_(max_size), rng_(seed) {}

    Bytes next() {
        Bytes b = corpus_.empty() ? Bytes() : corpus_[rng_.below(corpus_.size())];
        size_t rounds = 1 + rng_.below(rng_.one_in(4) ? 16 : 4);
        for (size_t i = 0; i < rounds; ++i) mutate(b);
        if (b.size() > max_size_) b.resize(max_size_);
        return b;
    }

private:
    size_t offset_in(const Bytes& b) { return b.empty() ? 0 : rng_.below(b.size()); }

    uint32_t interesting32(const Bytes& b, size_t at) {
        const uint64_t n = b.size();
        const int64_t small = static_cast<int64_t>(rng_.below(17)) - 8;
        switch (rng_.below(12)) {
        case 0: return 0;
        case 1: return 1;
        case 2: return 0x7FFFFFFFu;
        case 3: return 0x80000000u;
        case 4: return 0xFFFFFFFFu;
        case 5: return 0xFFFFFFFFu - static_cast<uint32_t>(rng_.below(16));
        case 6: return static_cast<uint32_t>(static_cast<int64_t>(n) + small);          // the file size
        case 7: return static_cast<uint32_t>(static_cast<int64_t>(n) - 8 + small);      // a RIFF size
        case 8: return static_cast<uint32_t>(static_cast<int64_t>(n - at) - 4 + small); // up to the end
        case 9: return static_cast<uint32_t>(128 + small);                              // a record
        case 10: return static_cast<uint32_t>(rng_.below(300));
        default: return static_cast<uint32_t>(rng_.next());
        }
    }

    void set32(Bytes& b, size_t at, uint32_t v) {
        if (at + 4 > b.size()) b.resize(at + 4, 0);
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }

    // The offset just after a four-letter chunk identifier, where its size is; any offset
    // when the input has none.
    size_t size_field_offset(const Bytes& b) {
        std::vector<size_t> found;
        for (size_t i = 0; i + 8 <= b.size(); ++i) {
            bool id = true;
            for (size_t k = 0; k < 4 && id; ++k) {
                uint8_t c = b[i + k];
                id = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            }
            if (id) found.push_back(i + 4);
        }
        return found.empty() ? offset_in(b) : found[rng_.below(found.size())];
    }

    void mutate(Bytes& b) {
        switch (rng_.below(14)) {
        case 0: { // flip a bit
            if (b.empty()) break;
            size_t at = offset_in(b);
            b[at] ^= static_cast<uint8_t>(1u << rng_.below(8));
            break;
        }
        case 1: { // set a byte
            if (b.empty()) break;
            size_t at = offset_in(b);
            b[at] = static_cast<uint8_t>(rng_.next());
            break;
        }
        case 2: { // set a byte to a value that means something to the readers
            static const uint8_t values[] = {0, 1, 0x20, 0x7F, 0x80, 0x81, 0x9F, 0xE0, 0xFC, 0xFF, 'T'};
            if (b.empty()) break;
            size_t at = offset_in(b);
            b[at] = values[rng_.below(sizeof values)];
            break;
        }
        case 3: { // insert random bytes or a run of one byte
            size_t at = b.empty() ? 0 : rng_.below(b.size() + 1);
            size_t n = 1 + rng_.below(rng_.one_in(8) ? 512 : 32);
            Bytes part(n);
            uint8_t fill = static_cast<uint8_t>(rng_.next());
            bool run = rng_.one_in(2);
            for (auto& x : part) x = run ? fill : static_cast<uint8_t>(rng_.next());
            b.insert(b.begin() + static_cast<ptrdiff_t>(at), part.begin(), part.end());
            break;
        }
        case 4: { // delete a piece
            if (b.empty()) break;
            size_t at = offset_in(b);
            size_t n = 1 + rng_.below(std::min<size_t>(b.size() - at, rng_.one_in(8) ? 1024 : 16));
            b.erase(b.begin() + static_cast<ptrdiff_t>(at), b.begin() + static_cast<ptrdiff_t>(at + n));
            break;
        }
        case 5: { // copy a piece of the input over another place in it
            if (b.size() < 2) break;
            size_t from = offset_in(b), to = offset_in(b);
            size_t n = 1 + rng_.below(std::min(b.size() - from, b.size() - to));
            Bytes part(b.begin() + static_cast<ptrdiff_t>(from), b.begin() + static_cast<ptrdiff_t>(from + n));
            std::copy(part.begin(), part.end(), b.begin() + static_cast<ptrdiff_t>(to));
            break;
        }
        case 6: { // splice: this input's head and another's tail, or a piece of another inserted
            if (corpus_.empty()) break;
            const Bytes& other = corpus_[rng_.below(corpus_.size())];
            if (rng_.one_in(2)) {
                size_t cut = b.empty() ? 0 : rng_.below(b.size() + 1);
                size_t from = other.empty() ? 0 : rng_.below(other.size() + 1);
                b.resize(cut);
                b.insert(b.end(), other.begin() + static_cast<ptrdiff_t>(from), other.end());
            } else if (!other.empty()) {
                size_t from = rng_.below(other.size());
                size_t n = 1 + rng_.below(other.size() - from);
                size_t at = b.empty() ? 0 : rng_.below(b.size() + 1);
                b.insert(b.begin() + static_cast<ptrdiff_t>(at), other.begin() + static_cast<ptrdiff_t>(from),
                         other.begin() + static_cast<ptrdiff_t>(from + n));
            }
            break;
        }
        case 7: { // a 32-bit little-endian value at any offset
            size_t at = offset_in(b);
            set32(b, at, interesting32(b, at));
            break;
        }
        case 8: { // a 32-bit value where a chunk's size stands
            size_t at = size_field_offset(b);
            set32(b, at, interesting32(b, at));
            break;
        }
        case 9: { // add to or take from a 32-bit value
            if (b.size() < 4) break;
            size_t at = rng_.one_in(2) ? size_field_offset(b) : rng_.below(b.size() - 3);
            if (at + 4 > b.size()) break;
            uint32_t v = static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
                         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
            v += static_cast<uint32_t>(static_cast<int32_t>(rng_.below(33)) - 16);
            set32(b, at, v);
            break;
        }
        case 10: { // a token the readers look for, inserted or written over
            const char* t = k_tokens[rng_.below(std::size(k_tokens))];
            size_t n = std::strlen(t);
            size_t at = b.empty() ? 0 : rng_.below(b.size() + 1);
            if (rng_.one_in(2)) {
                b.insert(b.begin() + static_cast<ptrdiff_t>(at), t, t + n);
            } else {
                if (at + n > b.size()) b.resize(at + n, 0);
                std::memcpy(b.data() + at, t, n);
            }
            break;
        }
        case 11: // cut the end off
            if (!b.empty()) b.resize(rng_.below(b.size()));
            break;
        case 12: { // an ID3v1 record at the end, over the last bytes or added
            Bytes rec(128);
            for (auto& x : rec) x = rng_.one_in(3) ? static_cast<uint8_t>(rng_.next()) : ' ';
            std::memcpy(rec.data(), "TAG", 3);
            if (rng_.one_in(2) && b.size() >= 128) b.resize(b.size() - 128);
            b.insert(b.end(), rec.begin(), rec.end());
            break;
        }
        default: { // swap two bytes
            if (b.size() < 2) break;
            size_t first = offset_in(b);
            size_t second = offset_in(b);
            std::swap(b[first], b[second]);
            break;
        }
        }
    }

    const std::vector<Bytes>& corpus_;
    size_t max_size_;
    Rng rng_;
};

bool read_file(const std::filesystem::path& p, Bytes& out) {
    std::ifstream f(p, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s <corpus folder or file> [mutations] [seed]\n", argv[0]);
        return 2;
    }
    const uint64_t mutations = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 10000;
    const uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20240601;
    install_handlers(argv[0]);

    std::vector<std::filesystem::path> files;
    std::error_code ec;
    const std::filesystem::path root(argv[1]);
    if (std::filesystem::is_directory(root, ec)) {
        for (const auto& e : std::filesystem::directory_iterator(root, ec))
            if (e.is_regular_file()) files.push_back(e.path());
        std::sort(files.begin(), files.end()); // the order, and so the run, never depends on the folder
    } else if (std::filesystem::is_regular_file(root, ec)) {
        files.push_back(root);
    } else {
        std::fprintf(stderr, "%s: no such corpus: %s\n", argv[0], argv[1]);
        return 2;
    }

    std::vector<Bytes> corpus;
    size_t largest = 0;
    for (const auto& p : files) {
        Bytes b;
        if (!read_file(p, b)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], p.string().c_str());
            return 2;
        }
        largest = std::max(largest, b.size());
        corpus.push_back(std::move(b));
    }

    auto start = std::chrono::steady_clock::now();
    uint64_t runs = 0;
    for (const Bytes& b : corpus) run_one(b, runs++);
    if (corpus.empty()) run_one(Bytes(), runs++);

    Mutator mutator(corpus, std::max<size_t>(4096, largest + 1024), seed);
    for (uint64_t i = 0; i < mutations; ++i) run_one(mutator.next(), runs++);

    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %" PRIu64 " inputs run (%zu corpus files, %" PRIu64 " mutations, seed %" PRIu64 ") in %.1f s\n",
                std::filesystem::path(argv[0]).filename().string().c_str(), runs, corpus.size(), mutations, seed,
                seconds);
    return 0;
}
